#include "launcher/launcher_log.h"
#include "launcher/launcher_support.h"

#include <stdbool.h>
#include <stdio.h>
#include <string.h>

void *_cachedDebugDylibHandle;

enum { NoCheck = 0, MustBePseudoDylib = 1, MustBeOrdinaryLibrary = 2 };

void assertDebugDylibStatus(void *handle, int kind) {
    void *address = quorlanPlatform()->lookupGlobal("_dyld_is_pseudodylib");
    if (!address || kind == NoCheck)
        return;
    bool (*isPseudoDylib)(void *);
    memcpy(&isPseudoDylib, &address, sizeof isPseudoDylib);
    if (kind == MustBePseudoDylib && !isPseudoDylib(handle))
        abort_pseudodylib_expected_but_found_normal___debug_dylib();
    if (kind == MustBeOrdinaryLibrary && isPseudoDylib(handle))
        abort_normaldylib_expected_but_found_pseudodylib___debug_dylib();
}

void *getDebugDylibHandle(void) {
    quorlanLoadEmbeddedStrings();
    if (_cachedDebugDylibHandle)
        return _cachedDebugDylibHandle;
    if (debugDylibRelativePath[0] == '\0')
        return NULL;

    // Room for "./", the longest relative path the buffer holds, and the terminator.
    char besideWorkingDirectory[QuorlanRelativePathLimit + 2];
    const char *path;
    int kind = NoCheck;
    if (!quorlanEnvironmentFlag("__PREVIEWS_JIT_LINK")) {
        path = debugDylibInstallName[0] ? debugDylibInstallName : debugDylibRelativePath;
    } else {
        quorlanLog(QuorlanLogDebug, "Stub executor is JIT linked");
        if (!quorlanEnvironmentFlag("__PREVIEWS_INTERPOSED_DEBUG_DLIB")) {
            quorlanLog(QuorlanLogDebug, "Debug dylib is not interposed");
            path = debugDylibRelativePath;
        } else {
            quorlanLog(QuorlanLogDebug, "Debug dylib is interposed");
            const char *agentName = debugDylibPseudoDylibInstallName();
            if (agentName) {
                quorlanLog(QuorlanLogDebug, "Looking up debug dylib by install name '%{public}s'",
                           agentName);
                path = agentName;
                kind = MustBePseudoDylib;
            } else {
                quorlanLog(QuorlanLogDebug, "Looking up debug dylib by relative path '%{public}s'",
                           debugDylibRelativePath);
                snprintf(besideWorkingDirectory, sizeof besideWorkingDirectory, "./%s",
                         debugDylibRelativePath);
                path = besideWorkingDirectory;
                kind = MustBeOrdinaryLibrary;
            }
        }
    }

    quorlanLog(QuorlanLogDebug, "Opening debug dylib with '%{public}s'", path);
    void *handle = quorlanPlatform()->open(path);
    if (!handle)
        abort_failed_to_open___debug_dylib(path, quorlanPlatform()->openError());
    quorlanLog(QuorlanLogDebug, "Debug dylib handle: %p", handle);
    assertDebugDylibStatus(handle, kind);
    _cachedDebugDylibHandle = handle;
    return handle;
}
