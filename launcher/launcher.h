#pragma once

/* What the launcher exports to the rest of the process: the preview agent finds these by name,
 * and the launcher's own entry record points at the trampoline. */

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QUORLAN_EXPORT __attribute__((visibility("default")))

/// An entry function of the application library: argument count and vector in, exit status out.
typedef int (*QuorlanEntryFunction)(int argc, char **argv);

/// Buffer sizes of the embedded strings; a string must be shorter than its buffer.
enum {
    QuorlanRelativePathLimit = 1024,
    QuorlanEntryPointNameLimit = 250,
    QuorlanInstallNameLimit = 250
};

QUORLAN_EXPORT extern unsigned char didLoadDylibStringSections;
QUORLAN_EXPORT extern char debugDylibRelativePath[QuorlanRelativePathLimit];
QUORLAN_EXPORT extern char debugDylibEntryPointName[QuorlanEntryPointNameLimit];
QUORLAN_EXPORT extern char debugDylibInstallName[QuorlanInstallNameLimit];
QUORLAN_EXPORT extern void *_cachedDebugDylibHandle;
QUORLAN_EXPORT extern QuorlanEntryFunction _cachedDebugDylibEntryPoint;

/// Starts the process: optional stderr redirect, the agent's chance to link, then the
/// library's entry function, whose result is returned.
QUORLAN_EXPORT int __debug_blank_executor_main(int argc, char **argv);

/// The agent's callback: runs the library's entry function, or keeps the process alive in a run
/// loop when the agent asks to skip it.
QUORLAN_EXPORT int __debug_blank_executor_run_user_entry_point(int argc, char **argv);

/// Same as `__debug_blank_executor_run_user_entry_point`.
QUORLAN_EXPORT int __previews_blank_executor_run_user_entry_point(int argc, char **argv);

/// Target of the launcher's own entry record: calls the entry function found through the
/// library's entry record.
QUORLAN_EXPORT int __debug_dylib_swift_extension_entry_trampoline(int argc, char **argv);

/// The library's entry function, resolved once; ends the process when there is none.
QUORLAN_EXPORT QuorlanEntryFunction getDebugDylibEntryPoint(void);

/// The library's handle, opened once; null when the build names no separate library.
QUORLAN_EXPORT void *getDebugDylibHandle(void);

/// Ends the process when `handle` is not of `kind` (1 pseudo-dylib, 2 ordinary library; 0 and
/// a loader without pseudo-dylibs accept anything).
QUORLAN_EXPORT void assertDebugDylibStatus(void *handle, int kind);

/// The entry function that the library's (or the agent's) entry record points at.
QUORLAN_EXPORT QuorlanEntryFunction lookupMainFuncAddressInDebugDylibMachHeader(void);

/// The image header of the loaded image whose path ends with the install name's file part.
QUORLAN_EXPORT const void *findDebugDylibMachHeaderAmongLoadedImages(void);

/// Copies the embedded strings into their buffers unless already done.
void quorlanLoadEmbeddedStrings(void);

#define QUORLAN_NORETURN QUORLAN_EXPORT __attribute__((noreturn))

QUORLAN_NORETURN void abort_failed_to_open___debug_dylib(const char *path, const char *error);
QUORLAN_NORETURN void abort_swift_entry_mach_header_not_found___debug_dylib(void);
QUORLAN_NORETURN void abort_swift_entry_main_entry_point_not_found___debug_dylib(size_t size);
QUORLAN_NORETURN void abort_swift_entry_point_address_could_not_be_determined___debug_dylib(void);
QUORLAN_NORETURN void
abort_failed_to_find_previews_injection_swift_entry_fetcher___debug_dylib(void);
QUORLAN_NORETURN void
abort_failed_to_get_debug_dylib_handle_for_swift_entry_fetcher___debug_dylib(void);
QUORLAN_NORETURN void
abort_failed_to_lookup_debug_dylib_macho_handle_by_suffix___debug_dylib(const char *suffix);
QUORLAN_NORETURN void abort_could_not_find_entry_point___debug_dylib(void);
QUORLAN_NORETURN void abort_could_not_find_CFRunLoopRun___debug_dylib(void);
QUORLAN_NORETURN void abort_pseudodylib_expected_but_found_normal___debug_dylib(void);
QUORLAN_NORETURN void abort_normaldylib_expected_but_found_pseudodylib___debug_dylib(void);

#ifdef __cplusplus
}
#endif
