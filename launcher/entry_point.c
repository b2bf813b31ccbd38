#include "launcher/launcher_log.h"
#include "launcher/launcher_support.h"

QuorlanEntryFunction _cachedDebugDylibEntryPoint;

static const char aliasName[] = "__debug_main_executable_dylib_entry_point";

static QuorlanEntryFunction found(void *address) {
    _cachedDebugDylibEntryPoint = quorlanEntryFunctionAt(address);
    return _cachedDebugDylibEntryPoint;
}

QuorlanEntryFunction getDebugDylibEntryPoint(void) {
    quorlanLoadEmbeddedStrings();
    if (_cachedDebugDylibEntryPoint)
        return _cachedDebugDylibEntryPoint;

    quorlanLog(QuorlanLogDebug, "Looking for main entry point.");
    void *handle = getDebugDylibHandle();
    void *address;
    if (!handle) {
        quorlanLog(QuorlanLogDebug, "No debug dylib present, assuming framework agent.");
        if ((address = quorlanPlatform()->lookupGlobal(aliasName)))
            return found(address);
        quorlanLog(QuorlanLogError,
                   "Could not find framework agent entry point name "
                   "'__debug_main_executable_dylib_entry_point'. Falling back to other paths.");
    }

    // The stored name carries the linker's leading underscore, which a lookup leaves out.
    const char *lookupName = debugDylibEntryPointName[0] ? debugDylibEntryPointName + 1 : NULL;
    if (lookupName) {
        quorlanLog(QuorlanLogDebug, "Looking up entry point name '%{public}s'", lookupName);
        if ((address = quorlanLookupInLibrary(handle, lookupName)))
            return found(address);
        quorlanLog(QuorlanLogError, "Could not find provided entry point name '%{public}s",
                   lookupName);
    }

    quorlanLog(QuorlanLogDebug, "No entry point found. Checking for alias.");
    if ((address = quorlanLookupInLibrary(handle, aliasName)))
        return found(address);

    quorlanLog(QuorlanLogDebug,
               "No alias entry point found. Falling back to look up entry point name 'main'");
    if ((address = quorlanLookupInLibrary(handle, "main")))
        return found(address);

    if (lookupName) {
        quorlanLog(QuorlanLogDebug,
                   "No entry point found in debug dylib. Falling back to look up entry point "
                   "name '%{public}s' globally.",
                   lookupName);
        if ((address = quorlanPlatform()->lookupGlobal(lookupName)))
            return found(address);
    }

    // printf's treatment of a null text is undefined, so the missing name is spelled out.
    quorlanLog(QuorlanLogError, "No entry point found. Checked '%{public}s'",
               lookupName ? lookupName : "(null)");
    abort_could_not_find_entry_point___debug_dylib();
}
