#pragma once

/* Everything the launcher asks of the dynamic loader and the process, behind one table of
 * functions so that each start-up branch can be taken without a preview agent, a pseudo-dylib
 * or a broken library at hand. */

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/// The three configuration strings the build embeds in the launcher, in the order they are read.
typedef enum QuorlanEmbeddedString {
    QuorlanRelativePathString = 0,
    QuorlanEntryPointNameString = 1,
    QuorlanInstallNameString = 2
} QuorlanEmbeddedString;

/// The levels of the launcher's log, from the most to the least verbose.
typedef enum QuorlanLogLevel {
    QuorlanLogDebug = 0,
    QuorlanLogDefault = 1,
    QuorlanLogError = 2
} QuorlanLogLevel;

typedef struct QuorlanPlatform {
    /// Sets `start` and `end` to the bounds of the embedded string `which` as the linker placed it.
    void (*embeddedSection)(QuorlanEmbeddedString which, const char **start, const char **end);

    /// Opens the library at `path` with immediate binding; returns its handle or null. An
    /// `@rpath/` name is the library the loader already holds under that name, else the first
    /// file along the run path.
    void *(*open)(const char *path);
    /// The loader's text for the last failed `open`, or null when it has none.
    const char *(*openError)(void);
    /// The address of `name` anywhere in the process, or null.
    void *(*lookupGlobal)(const char *name);
    /// The address of `name` in the library `handle` (never null) and its dependencies, or null.
    void *(*lookupInLibrary)(void *handle, const char *name);

    /// The image header of the library `handle`, or null; a null member means the loader offers
    /// no such query and the loaded images are searched instead.
    const void *(*imageHeaderOfHandle)(void *handle);
    /// The number of images loaded in the process.
    int (*imageCount)(void);
    /// The path of loaded image `index`, or null.
    const char *(*imageName)(int index);
    /// The image header of loaded image `index`, or null.
    const void *(*imageHeader)(int index);
    /// The address of section `name` of the image whose header is `header`, with its byte count
    /// in `size`; null (and `size` 0) when the image has no such section.
    const void *(*sectionData)(const void *header, const char *name, size_t *size);

    /// The value of environment variable `name`, or null when it is not set.
    const char *(*getEnv)(const char *name);
    /// Makes standard error append to the file at `path`; leaves it as it was when that fails.
    void (*redirectStandardError)(const char *path);
    /// Writes one line of `level` to the system log under `subsystem` and `category`.
    void (*log)(QuorlanLogLevel level, const char *subsystem, const char *category,
                const char *text);
    /// Ends the process abnormally; does not return.
    void (*abortProcess)(void);
} QuorlanPlatform;

/// The platform the launcher uses now: the real one unless another was set.
const QuorlanPlatform *quorlanPlatform(void);

/// Makes `platform` the one the launcher uses from now on; null restores the real one.
void quorlanSetPlatform(const QuorlanPlatform *platform);

/// The implementation on the system's dynamic loader, log and C library.
const QuorlanPlatform *quorlanSystemPlatform(void);

#ifdef __cplusplus
}
#endif
