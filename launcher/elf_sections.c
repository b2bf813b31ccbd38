#define _GNU_SOURCE

#include "launcher/elf_sections.h"

#include <elf.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

/* No sane image has a larger name table; a damaged file must not make us allocate much. */
enum { MaximumNameTableSize = 1 << 20 };

static int readExactly(int file, void *buffer, size_t size, off_t offset) {
    return pread(file, buffer, size, offset) == (ssize_t)size;
}

static const ElfW(Shdr) * findSection(const ElfW(Shdr) * sections, size_t count, const char *names,
                                      size_t namesSize, const char *name) {
    for (size_t i = 0; i < count; ++i) {
        if (sections[i].sh_name < namesSize && strcmp(names + sections[i].sh_name, name) == 0)
            return &sections[i];
    }
    return NULL;
}

static const void *sectionInFile(int file, const QuorlanImage *image, const char *name,
                                 size_t *size) {
    ElfW(Ehdr) header;
    // A file replaced since it was loaded no longer describes the mapped image.
    if (!readExactly(file, &header, sizeof header, 0) ||
        memcmp(&header, image->header, sizeof header) != 0)
        return NULL;
    if (header.e_shoff == 0 || header.e_shentsize != sizeof(ElfW(Shdr)) || header.e_shnum == 0 ||
        header.e_shstrndx >= header.e_shnum)
        return NULL;

    const void *result = NULL;
    char *names = NULL;
    ElfW(Shdr) *sections = calloc(header.e_shnum, sizeof *sections);
    if (!sections ||
        !readExactly(file, sections, header.e_shnum * sizeof *sections, (off_t)header.e_shoff))
        goto done;
    const ElfW(Shdr) *nameTable = &sections[header.e_shstrndx];
    if (nameTable->sh_type != SHT_STRTAB || nameTable->sh_size > MaximumNameTableSize)
        goto done;
    names = calloc(nameTable->sh_size + 1, 1);
    if (!names || !readExactly(file, names, nameTable->sh_size, (off_t)nameTable->sh_offset))
        goto done;

    const ElfW(Shdr) *section =
        findSection(sections, header.e_shnum, names, nameTable->sh_size, name);
    if (section && (section->sh_flags & SHF_ALLOC) &&
        quorlanImageMaps(image, section->sh_addr, section->sh_size)) {
        *size = section->sh_size;
        result = (const void *)(image->bias + section->sh_addr);
    }
done:
    free(names);
    free(sections);
    return result;
}

const void *quorlanLoadedSection(const QuorlanImage *image, const char *name, size_t *size) {
    *size = 0;
    if (!image->header || !image->path || !image->path[0])
        return NULL;
    int file = open(image->path, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return NULL;
    const void *section = sectionInFile(file, image, name, size);
    close(file);
    return section;
}
