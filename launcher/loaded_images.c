#define _GNU_SOURCE

#include "launcher/loaded_images.h"

#include <elf.h>
#include <string.h>
#include <unistd.h>

const char *quorlanExecutablePath(void) {
    static char path[4096];
    if (!path[0]) {
        ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
        path[length > 0 ? length : 0] = '\0';
    }
    return path;
}

static const ElfW(Ehdr) * headerOf(const struct dl_phdr_info *info) {
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr) *segment = &info->dlpi_phdr[i];
        if (segment->p_type != PT_LOAD || segment->p_offset != 0 ||
            segment->p_filesz < sizeof(ElfW(Ehdr)))
            continue;
        const ElfW(Ehdr) *header = (const ElfW(Ehdr) *)(info->dlpi_addr + segment->p_vaddr);
        return memcmp(header->e_ident, ELFMAG, SELFMAG) == 0 ? header : NULL;
    }
    return NULL;
}

typedef struct Search {
    QuorlanImageMatch match;
    const void *context;
    QuorlanImage *image;
    int index;
} Search;

static int visit(struct dl_phdr_info *info, size_t size, void *data) {
    (void)size;
    Search *search = data;
    // The loader names the main program with an empty text; its file is the executable.
    QuorlanImage image = {
        search->index == 0 && info->dlpi_name[0] == '\0' ? quorlanExecutablePath()
                                                         : info->dlpi_name,
        info->dlpi_addr,
        info->dlpi_phdr,
        info->dlpi_phnum,
        headerOf(info),
    };
    if (search->match && search->match(&image, search->index, search->context)) {
        *search->image = image;
        return 1;
    }
    ++search->index;
    return 0;
}

int quorlanFindLoadedImage(QuorlanImageMatch match, const void *context, QuorlanImage *image) {
    Search search = {match, context, image, 0};
    return dl_iterate_phdr(visit, &search);
}

int quorlanLoadedImageCount(void) {
    QuorlanImage unused;
    Search search = {NULL, NULL, &unused, 0};
    dl_iterate_phdr(visit, &search);
    return search.index;
}

int quorlanImageMaps(const QuorlanImage *image, ElfW(Addr) address, size_t size) {
    for (ElfW(Half) i = 0; i < image->programHeaderCount; ++i) {
        const ElfW(Phdr) *segment = &image->programHeaders[i];
        if (segment->p_type == PT_LOAD && address >= segment->p_vaddr &&
            address - segment->p_vaddr <= segment->p_memsz &&
            size <= segment->p_memsz - (address - segment->p_vaddr))
            return 1;
    }
    return 0;
}
