/* Every unrecoverable start-up condition ends here, named for what went wrong so that a crash
 * report says it without the log. */

#include "launcher/launcher_log.h"
#include "launcher/launcher_support.h"

void abort_failed_to_open___debug_dylib(const char *path, const char *error) {
    if (error)
        quorlanLog(QuorlanLogError, "Failed to load '%{public}s': %{public}s", path, error);
    else
        quorlanLog(QuorlanLogError, "Failed to load '%{public}s'", path);
    quorlanAbort();
}

void abort_swift_entry_mach_header_not_found___debug_dylib(void) {
    quorlanLog(QuorlanLogError, "Stub Executor: Debug dylib mach header not found.");
    quorlanAbort();
}

void abort_swift_entry_main_entry_point_not_found___debug_dylib(size_t size) {
    quorlanLog(QuorlanLogError,
               "Stub Executor: Swift entry point not found (entry size: %{public}zu). Failing.",
               size);
    quorlanAbort();
}

void abort_swift_entry_point_address_could_not_be_determined___debug_dylib(void) {
    quorlanLog(QuorlanLogError,
               "Stub Executor: Swift entry point address could not be determined.");
    quorlanAbort();
}

void abort_failed_to_find_previews_injection_swift_entry_fetcher___debug_dylib(void) {
    quorlanLog(QuorlanLogError,
               "Stub Executor: Failed to find Previews injection Swift entry fetcher.");
    quorlanAbort();
}

void abort_failed_to_get_debug_dylib_handle_for_swift_entry_fetcher___debug_dylib(void) {
    quorlanLog(QuorlanLogError,
               "Stub Executor: Failed to get debug dylib handle for Swift entry fetcher.");
    quorlanAbort();
}

void abort_failed_to_lookup_debug_dylib_macho_handle_by_suffix___debug_dylib(const char *suffix) {
    quorlanLog(QuorlanLogError,
               "Stub Executor: Failed to lookup debug dylib MachO handle by suffix '%{public}s'.",
               suffix);
    quorlanAbort();
}

void abort_could_not_find_entry_point___debug_dylib(void) {
    quorlanAbort();
}

void abort_could_not_find_CFRunLoopRun___debug_dylib(void) {
    quorlanAbort();
}

void abort_pseudodylib_expected_but_found_normal___debug_dylib(void) {
    quorlanAbort();
}

void abort_normaldylib_expected_but_found_pseudodylib___debug_dylib(void) {
    quorlanAbort();
}
