#define _GNU_SOURCE

#include "launcher/elf_sections.h"
#include "launcher/loaded_images.h"
#include "launcher/platform.h"
#include "launcher/system_log.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

/* The build passes the run path it links the launcher with, so that `@rpath/` names resolve
 * along the same list as the library the loader mapped at start. */
#ifndef QUORLAN_RUN_PATH
#define QUORLAN_RUN_PATH "$ORIGIN:$ORIGIN/../lib"
#endif

static char openErrorText[4096];
static int haveOpenError;

static void rememberOpenError(const char *text) {
    if (haveOpenError)
        return;
    snprintf(openErrorText, sizeof openErrorText, "%s", text ? text : "unknown error");
    haveOpenError = 1;
}

static void *openFile(const char *path) {
    void *handle = dlopen(path, RTLD_NOW);
    if (!handle)
        rememberOpenError(dlerror());
    return handle;
}

static const char *executableDirectory(char *buffer, size_t size) {
    snprintf(buffer, size, "%s", quorlanExecutablePath());
    char *slash = strrchr(buffer, '/');
    if (!slash)
        return NULL;
    *slash = '\0';
    return buffer;
}

/* One run-path entry with $ORIGIN (or ${ORIGIN}) at its start replaced, followed by `name`. */
static int candidatePath(const char *entry, size_t entryLength, const char *name, char *out,
                         size_t size) {
    char directory[4096];
    const char *origin = NULL;
    size_t skip = 0;
    if (entryLength >= 7 && strncmp(entry, "$ORIGIN", 7) == 0)
        skip = 7;
    else if (entryLength >= 9 && strncmp(entry, "${ORIGIN}", 9) == 0)
        skip = 9;
    if (skip && !(origin = executableDirectory(directory, sizeof directory)))
        return 0;
    int written = snprintf(out, size, "%s%.*s/%s", origin ? origin : "", (int)(entryLength - skip),
                           entry + skip, name);
    return written > 0 && (size_t)written < size;
}

static void *openAlongRunPath(const char *installName, const char *name) {
    const char *entry = QUORLAN_RUN_PATH;
    while (*entry) {
        size_t length = strcspn(entry, ":");
        char candidate[8192];
        // The first file that exists and loads wins; one that exists but fails to load is the
        // failure worth reporting.
        if (candidatePath(entry, length, name, candidate, sizeof candidate) &&
            access(candidate, F_OK) == 0) {
            void *handle = openFile(candidate);
            if (handle)
                return handle;
        }
        entry += length;
        if (*entry == ':')
            ++entry;
    }
    char text[4096];
    snprintf(text, sizeof text, "%s: no such file along the run path '%s'", installName,
             QUORLAN_RUN_PATH);
    rememberOpenError(text);
    return NULL;
}

/* The program names the library as needed, so the loader has usually mapped it before we run,
 * and not necessarily from our run path: LD_LIBRARY_PATH and the loader's cache come first. A
 * second copy opened from the run path would run with globals of its own (or be missing when
 * the program was moved away from it), so the image already held wins. */
static void *alreadyLoaded(const char *name) {
    // A name with a folder in it would be read from the working directory.
    if (strchr(name, '/'))
        return NULL;
    void *handle = dlopen(name, RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        dlerror();
    return handle;
}

static void *systemOpen(const char *path) {
    haveOpenError = 0;
    if (strncmp(path, "@rpath/", 7) == 0) {
        void *handle = alreadyLoaded(path + 7);
        return handle ? handle : openAlongRunPath(path, path + 7);
    }
    if (strncmp(path, "@executable_path/", 17) == 0) {
        char directory[4096];
        char resolved[8192];
        const char *origin = executableDirectory(directory, sizeof directory);
        snprintf(resolved, sizeof resolved, "%s/%s", origin ? origin : ".", path + 17);
        return openFile(resolved);
    }
    return openFile(path);
}

static const char *systemOpenError(void) {
    return haveOpenError ? openErrorText : NULL;
}

static void *systemLookupGlobal(const char *name) {
    return dlsym(RTLD_DEFAULT, name);
}

static void *systemLookupInLibrary(void *handle, const char *name) {
    return dlsym(handle, name);
}

static int isObject(const QuorlanImage *image, int index, const void *context) {
    (void)index;
    const struct link_map *map = context;
    return image->bias == map->l_addr &&
           (image->path == map->l_name || strcmp(image->path, map->l_name) == 0 ||
            (map->l_name[0] == '\0' && index == 0));
}

static const void *systemImageHeaderOfHandle(void *handle) {
    struct link_map *map = NULL;
    QuorlanImage image;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map ||
        !quorlanFindLoadedImage(isObject, map, &image))
        return NULL;
    return image.header;
}

static int isIndex(const QuorlanImage *image, int index, const void *context) {
    (void)image;
    return index == *(const int *)context;
}

static const char *systemImageName(int index) {
    QuorlanImage image;
    return quorlanFindLoadedImage(isIndex, &index, &image) ? image.path : NULL;
}

static const void *systemImageHeader(int index) {
    QuorlanImage image;
    return quorlanFindLoadedImage(isIndex, &index, &image) ? image.header : NULL;
}

static int hasHeader(const QuorlanImage *image, int index, const void *context) {
    (void)index;
    return image->header && (const void *)image->header == context;
}

static const void *systemSectionData(const void *header, const char *name, size_t *size) {
    QuorlanImage image;
    *size = 0;
    if (!header || !quorlanFindLoadedImage(hasHeader, header, &image))
        return NULL;
    return quorlanLoadedSection(&image, name, size);
}

static const char *systemGetEnv(const char *name) {
    return getenv(name);
}

static void systemRedirectStandardError(const char *path) {
    // Not following a link keeps a file planted in a shared folder from redirecting our writes
    // into someone else's file; on failure standard error stays where it was.
    int file = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (file < 0)
        return;
    fflush(stderr);
    dup2(file, STDERR_FILENO);
    close(file);
}

static void systemAbort(void) {
    abort();
}

/* The linker bounds each section with these; a section that stayed empty may have no symbols
 * at all, which reads as an empty string. */
extern const char __start___debug_dylib[] __attribute__((weak));
extern const char __stop___debug_dylib[] __attribute__((weak));
extern const char __start___debug_entry[] __attribute__((weak));
extern const char __stop___debug_entry[] __attribute__((weak));
extern const char __start___debug_instlnm[] __attribute__((weak));
extern const char __stop___debug_instlnm[] __attribute__((weak));

static void systemEmbeddedSection(QuorlanEmbeddedString which, const char **start,
                                  const char **end) {
    switch (which) {
    case QuorlanRelativePathString:
        *start = __start___debug_dylib;
        *end = __stop___debug_dylib;
        return;
    case QuorlanEntryPointNameString:
        *start = __start___debug_entry;
        *end = __stop___debug_entry;
        return;
    case QuorlanInstallNameString:
        *start = __start___debug_instlnm;
        *end = __stop___debug_instlnm;
        return;
    }
    *start = *end = NULL;
}

static int systemImageCount(void) {
    return quorlanLoadedImageCount();
}

static const QuorlanPlatform systemPlatform = {
    systemEmbeddedSection, systemOpen,
    systemOpenError,       systemLookupGlobal,
    systemLookupInLibrary, systemImageHeaderOfHandle,
    systemImageCount,      systemImageName,
    systemImageHeader,     systemSectionData,
    systemGetEnv,          systemRedirectStandardError,
    quorlanSystemLog,      systemAbort,
};

const QuorlanPlatform *quorlanSystemPlatform(void) {
    return &systemPlatform;
}
