// Reading a real record on the real loader is the loader layer's test.

#include "fake_platform.h"

#include <gtest/gtest.h>

using tessaly::testing::addressOf;
using tessaly::testing::FakePlatform;

namespace {

int library;
int libraryHeader;
/// An entry record as the library carries it: offset from the record to the entry, flags 1. The
/// launcher only works the address out, so the entry may as well lie just past the record.
alignas(4) const unsigned char record[8] = {8, 0, 0, 0, 1, 0, 0, 0};
const void *recordedEntry = record + 8;
/// A record whose offset is zero.
alignas(4) const unsigned char zeroRecord[8] = {0, 0, 0, 0, 1, 0, 0, 0};
const void *(*const agentRecord)() = [] { return static_cast<const void *>(record); };
const void *(*const agentWithoutRecord)() = [] { return static_cast<const void *>(nullptr); };

/// This build's configuration, the library loaded, its header known and its record in place.
class SwiftEntry : public ::testing::Test {
protected:
    SwiftEntry() {
        fake.addLibrary("@rpath/Quorlan.debug.so", &library);
        fake.headers[&library] = &libraryHeader;
        fake.imageSections[{&libraryHeader, "__swift5_entry"}] = {record, 8};
    }
    FakePlatform fake;
};

TEST_F(SwiftEntry, WithoutTheHeaderQueryTheFirstImageEndingInTheInstallNamesFilePartIsUsed) {
    fake.table.imageHeaderOfHandle = nullptr;
    int other;
    struct Case {
        const char *installName;
        const char *image; // the path of the library's image
        bool found;        // the process ends otherwise
    };
    for (Case c : {
             Case{"@rpath/Quorlan.debug.so", "/x/Quorlan.debug.so", true},
             Case{"@rpath/Quorlan.debug.so", "/x/MyQuorlan.debug.so", false},
             Case{"@rpath/Quorlan.debug.so", "Quorlan.debug.so", false},
             Case{"/opt/lib/Quorlan.debug.so", "/opt/lib/Quorlan.debug.so", true},
             Case{"Q", "/x/Q", true},
         }) {
        SCOPED_TRACE(::testing::Message() << c.installName << " in " << c.image);
        didLoadDylibStringSections = 0;
        _cachedDebugDylibHandle = nullptr;
        fake.sections[QuorlanInstallNameString] = c.installName;
        fake.addLibrary(c.installName, &library);
        fake.images = {{"", nullptr}, {"/lib/libc.so.6", &other}, {c.image, &libraryHeader}};
        if (c.found)
            EXPECT_EQ(addressOf(lookupMainFuncAddressInDebugDylibMachHeader()), recordedEntry);
        else
            EXPECT_LAUNCHER_ABORT(findDebugDylibMachHeaderAmongLoadedImages(),
                                  "Failed to lookup debug dylib MachO handle by suffix");
    }
    // The search stops at the first match, even one without a header.
    didLoadDylibStringSections = 0;
    fake.sections[QuorlanInstallNameString] = "@rpath/Quorlan.debug.so";
    fake.images = {{"/a/Quorlan.debug.so", nullptr}, {"/b/Quorlan.debug.so", &libraryHeader}};
    EXPECT_LAUNCHER_ABORT(findDebugDylibMachHeaderAmongLoadedImages(), "by suffix");
}

TEST_F(SwiftEntry, EveryMissingPieceEndsTheProcessWithItsOwnMessage) {
    fake.headers.clear();
    EXPECT_LAUNCHER_ABORT(lookupMainFuncAddressInDebugDylibMachHeader(),
                          "Stub Executor: Debug dylib mach header not found\\.");

    fake.headers[&library] = &libraryHeader;
    fake.imageSections.clear();
    EXPECT_LAUNCHER_ABORT(
        lookupMainFuncAddressInDebugDylibMachHeader(),
        "Stub Executor: Swift entry point not found \\(entry size: 0\\)\\. Failing\\.");
    // A record shorter than its offset is not read past its end.
    fake.imageSections[{&libraryHeader, "__swift5_entry"}] = {record, 3};
    EXPECT_LAUNCHER_ABORT(lookupMainFuncAddressInDebugDylibMachHeader(), "\\(entry size: 3\\)");

    fake.imageSections[{&libraryHeader, "__swift5_entry"}] = {zeroRecord, 8};
    EXPECT_LAUNCHER_ABORT(lookupMainFuncAddressInDebugDylibMachHeader(),
                          "Stub Executor: Swift entry point address could not be determined\\.");

    fake.sections[QuorlanRelativePathString] = "";
    didLoadDylibStringSections = 0;
    _cachedDebugDylibHandle = nullptr;
    EXPECT_LAUNCHER_ABORT(
        lookupMainFuncAddressInDebugDylibMachHeader(),
        "Stub Executor: Failed to get debug dylib handle for Swift entry fetcher\\.");
}

TEST_F(SwiftEntry, AnAgentSuppliedLibrarysRecordComesFromTheAgent) {
    fake.environment["__PREVIEWS_EXECUTABLE_DYLIB_NAME"] = "/agent/Quorlan.debug.so";
    EXPECT_LAUNCHER_ABORT(
        lookupMainFuncAddressInDebugDylibMachHeader(),
        "Previews injection Swift entry fetcher not found\\.\n"
        "Stub Executor: Failed to find Previews injection Swift entry fetcher\\.");

    const char *fetcher = "__previews_injection_get_debug_dodylib_swift_entry_section_data";
    fake.globals[fetcher] = addressOf(agentWithoutRecord);
    EXPECT_LAUNCHER_ABORT(lookupMainFuncAddressInDebugDylibMachHeader(), "\\(entry size: 4\\)");
    fake.globals[fetcher] = addressOf(agentRecord);
    EXPECT_EQ(addressOf(lookupMainFuncAddressInDebugDylibMachHeader()), recordedEntry);
}

} // namespace
