#include "launcher/launcher_support.h"

#include <stdlib.h>
#include <string.h>

static const QuorlanPlatform *currentPlatform;

const QuorlanPlatform *quorlanPlatform(void) {
    return currentPlatform ? currentPlatform : quorlanSystemPlatform();
}

void quorlanSetPlatform(const QuorlanPlatform *platform) {
    currentPlatform = platform;
}

void quorlanAbort(void) {
    quorlanPlatform()->abortProcess();
    abort();
}

int quorlanEnvironmentFlag(const char *name) {
    const char *value = quorlanPlatform()->getEnv(name);
    return value && (strcmp(value, "YES") == 0 || strcmp(value, "1") == 0);
}

const char *debugDylibPseudoDylibInstallName(void) {
    return quorlanPlatform()->getEnv("__PREVIEWS_EXECUTABLE_DYLIB_NAME");
}

void *quorlanLookupInLibrary(void *handle, const char *name) {
    // dlsym takes a null handle for the whole process; a missing library must find nothing.
    return handle ? quorlanPlatform()->lookupInLibrary(handle, name) : NULL;
}

QuorlanEntryFunction quorlanEntryFunctionAt(void *address) {
    // ISO C has no cast between object and function pointers; POSIX guarantees they share a
    // representation.
    QuorlanEntryFunction function;
    memcpy(&function, &address, sizeof function);
    return function;
}
