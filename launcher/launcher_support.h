#pragma once

/* Helpers shared by the launcher's start-up steps. */

#include "launcher/launcher.h"
#include "launcher/platform.h"

#ifdef __cplusplus
extern "C" {
#endif

/// Ends the process through the platform, and for certain should the platform return.
__attribute__((noreturn)) void quorlanAbort(void);

/// Whether environment variable `name` is set to exactly "YES" or "1".
int quorlanEnvironmentFlag(const char *name);

/// The install name of the library the agent supplies (`__PREVIEWS_EXECUTABLE_DYLIB_NAME`), or
/// null when the agent supplies none.
const char *debugDylibPseudoDylibInstallName(void);

/// The address of `name` in library `handle`; null when `handle` is null, whatever the loader
/// would find for a null handle.
void *quorlanLookupInLibrary(void *handle, const char *name);

/// `address` as an entry function.
QuorlanEntryFunction quorlanEntryFunctionAt(void *address);

#ifdef __cplusplus
}
#endif
