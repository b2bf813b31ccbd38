#include "launcher/launcher_log.h"
#include "launcher/launcher_support.h"

#include <stdint.h>
#include <string.h>

typedef const void *(*EntrySectionFetcher)(void);

static const void *recordFromAgent(size_t *size) {
    quorlanLog(QuorlanLogDebug,
               "Debug dylib is interposed. Looking for entry trampoline in pseudodylib.");
    void *address = quorlanPlatform()->lookupGlobal(
        "__previews_injection_get_debug_dodylib_swift_entry_section_data");
    if (!address) {
        quorlanLog(QuorlanLogError, "Previews injection Swift entry fetcher not found.");
        abort_failed_to_find_previews_injection_swift_entry_fetcher___debug_dylib();
    }
    EntrySectionFetcher fetch;
    memcpy(&fetch, &address, sizeof fetch);
    const void *record = fetch();
    quorlanLog(QuorlanLogDebug, "Received Swift entry section pointer: %{public}p", record);
    // The agent hands over the record alone, without its section's size.
    *size = 4;
    if (!record)
        abort_swift_entry_main_entry_point_not_found___debug_dylib(*size);
    return record;
}

static const void *recordFromLibrary(size_t *size) {
    void *handle = getDebugDylibHandle();
    if (!handle)
        abort_failed_to_get_debug_dylib_handle_for_swift_entry_fetcher___debug_dylib();
    const QuorlanPlatform *platform = quorlanPlatform();
    const void *header;
    if (platform->imageHeaderOfHandle) {
        quorlanLog(QuorlanLogDebug, "dyld image header API available");
        header = platform->imageHeaderOfHandle(handle);
    } else {
        quorlanLog(QuorlanLogDebug, "dyld image header API not available, falling back");
        header = findDebugDylibMachHeaderAmongLoadedImages();
    }
    quorlanLog(QuorlanLogDebug, "Mach header found at %{public}p in dylib handle %{public}p",
               header, handle);
    if (!header)
        abort_swift_entry_mach_header_not_found___debug_dylib();
    *size = 0;
    const void *record = platform->sectionData(header, "__swift5_entry", size);
    if (!record)
        abort_swift_entry_main_entry_point_not_found___debug_dylib(*size);
    return record;
}

QuorlanEntryFunction lookupMainFuncAddressInDebugDylibMachHeader(void) {
    quorlanLoadEmbeddedStrings();
    size_t size = 0;
    const void *record =
        debugDylibPseudoDylibInstallName() ? recordFromAgent(&size) : recordFromLibrary(&size);
    if (size <= 3)
        abort_swift_entry_main_entry_point_not_found___debug_dylib(size);
    int32_t offset;
    memcpy(&offset, record, sizeof offset);
    // A zero offset would make the record itself the entry function.
    if (offset == 0)
        abort_swift_entry_point_address_could_not_be_determined___debug_dylib();
    quorlanLog(QuorlanLogDebug, "Entry section %{public}p, offset: %{public}x", record,
               (unsigned)offset);
    return quorlanEntryFunctionAt((void *)((uintptr_t)record + (uintptr_t)(intptr_t)offset));
}

int __debug_dylib_swift_extension_entry_trampoline(int argc, char **argv) {
    quorlanLog(QuorlanLogDebug,
               "Swift extension entry trampoline called. Jumping to debug dylib entry point.");
    QuorlanEntryFunction entry = lookupMainFuncAddressInDebugDylibMachHeader();
    return entry(argc, argv);
}

const void *findDebugDylibMachHeaderAmongLoadedImages(void) {
    // Exported, so the agent may call it before anything else has read the install name.
    quorlanLoadEmbeddedStrings();
    const char *suffix = debugDylibInstallName;
    if (suffix[0] == '@') {
        const char *slash = strchr(suffix, '/');
        if (slash)
            suffix = slash;
    }
    quorlanLog(QuorlanLogDebug, "Looking for dylib image with suffix: '%s'", suffix);

    const QuorlanPlatform *platform = quorlanPlatform();
    size_t suffixLength = strlen(suffix);
    int count = platform->imageCount();
    // Every path ends with the empty text; without a name there is no image to pick.
    for (int index = 0; suffixLength > 0 && index < count; ++index) {
        const char *name = platform->imageName(index);
        size_t length = name ? strlen(name) : 0;
        if (!name || length < suffixLength || strcmp(name + length - suffixLength, suffix) != 0)
            continue;
        const void *header = platform->imageHeader(index);
        if (header)
            return header;
        break;
    }

    quorlanLog(QuorlanLogDebug, "Could not find debug dylib: %s", suffix);
    abort_failed_to_lookup_debug_dylib_macho_handle_by_suffix___debug_dylib(suffix);
}
