#pragma once

/* The images the dynamic loader has mapped into the process, in the loader's order. */

#include <link.h>
#include <stddef.h>

/// One mapped image: its file, load bias, program headers and ELF header in memory.
typedef struct QuorlanImage {
    const char *path; /* the executable's own path for the main program */
    ElfW(Addr) bias;
    const ElfW(Phdr) * programHeaders;
    ElfW(Half) programHeaderCount;
    const ElfW(Ehdr) * header; /* null when no segment maps the start of the file */
} QuorlanImage;

/// Whether `image` is the one wanted; `context` is the caller's.
typedef int (*QuorlanImageMatch)(const QuorlanImage *image, int index, const void *context);

/// Fills `image` with the first loaded image that `match` accepts; returns 0 when none does.
int quorlanFindLoadedImage(QuorlanImageMatch match, const void *context, QuorlanImage *image);

/// The number of images loaded in the process.
int quorlanLoadedImageCount(void);

/// The path of the running executable, or an empty text when the system does not say.
const char *quorlanExecutablePath(void);

/// Whether the address range [`address`, `address` + `size`) lies in one loaded segment of
/// `image`.
int quorlanImageMaps(const QuorlanImage *image, ElfW(Addr) address, size_t size);
