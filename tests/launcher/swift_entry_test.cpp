#include "fake_platform.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using tessaly::testing::addressOf;
using tessaly::testing::FakePlatform;

namespace {

int library;
int libraryHeader;
extern "C" int swiftRecordedEntry(int argc, char **) {
    return 40 + argc;
}

/// An entry record as the library carries it: offset from the record to the entry, flags 1.
alignas(4) unsigned char record[8];
/// A record whose offset is zero.
alignas(4) const unsigned char zeroRecord[8] = {0, 0, 0, 0, 1, 0, 0, 0};

bool fillRecord() {
    std::intptr_t distance = reinterpret_cast<std::intptr_t>(addressOf(swiftRecordedEntry)) -
                             reinterpret_cast<std::intptr_t>(record);
    if (distance < INT32_MIN || distance > INT32_MAX)
        return false;
    std::int32_t offset = static_cast<std::int32_t>(distance);
    std::uint32_t flags = 1;
    std::memcpy(record, &offset, 4);
    std::memcpy(record + 4, &flags, 4);
    return true;
}

extern "C" const void *agentRecord() {
    return record;
}
extern "C" const void *agentWithoutRecord() {
    return nullptr;
}

/// This build's configuration, the library loaded, its header known and its record in place.
class SwiftEntry : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fillRecord())
            GTEST_SKIP() << "code and data of this test are too far apart for a 32-bit offset";
        fake.embedThisBuildsStrings();
        fake.addLibrary("@rpath/Quorlan.debug.so", &library);
        fake.headers[&library] = &libraryHeader;
        fake.imageSections[{&libraryHeader, "__swift5_entry"}] = {record, 8};
    }
    FakePlatform fake;
};

// The trampoline on a real record is the process tests' part.
TEST_F(SwiftEntry, WithoutTheHeaderQueryTheFirstImageEndingInTheInstallNamesFilePartIsUsed) {
    fake.withoutImageHeaderQuery();
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
             Case{"/opt/lib/Quorlan.debug.so", "/usr/lib/Quorlan.debug.so", false},
             Case{"@Quorlan.debug.so", "/x/@Quorlan.debug.so", true},
             Case{"Q", "/x/Q", true},
             // Every path ends with the empty text, the launcher's first, which has no header.
             Case{"", "/x/Quorlan.debug.so", false},
         }) {
        SCOPED_TRACE(::testing::Message() << c.installName << " in " << c.image);
        didLoadDylibStringSections = 0;
        _cachedDebugDylibHandle = nullptr;
        fake.sections[QuorlanInstallNameString] = c.installName;
        fake.addLibrary(c.installName, &library);
        fake.images = {{"", nullptr}, {"/lib/libc.so.6", &other}, {c.image, &libraryHeader}};
        if (c.found)
            EXPECT_EQ(lookupMainFuncAddressInDebugDylibMachHeader(), &swiftRecordedEntry);
        else
            EXPECT_LAUNCHER_ABORT(fake, findDebugDylibMachHeaderAmongLoadedImages(),
                                  "Failed to lookup debug dylib MachO handle by suffix");
    }
    // The search stops at the first match, even one without a header.
    didLoadDylibStringSections = 0;
    fake.sections[QuorlanInstallNameString] = "@rpath/Quorlan.debug.so";
    fake.images = {{"/a/Quorlan.debug.so", nullptr}, {"/b/Quorlan.debug.so", &libraryHeader}};
    EXPECT_LAUNCHER_ABORT(fake, findDebugDylibMachHeaderAmongLoadedImages(), "by suffix");
}

TEST_F(SwiftEntry, EveryMissingPieceEndsTheProcessWithItsOwnMessage) {
    fake.headers.clear();
    EXPECT_LAUNCHER_ABORT(fake, lookupMainFuncAddressInDebugDylibMachHeader(),
                          "Stub Executor: Debug dylib mach header not found\\.");

    fake.headers[&library] = &libraryHeader;
    fake.imageSections.clear();
    EXPECT_LAUNCHER_ABORT(
        fake, lookupMainFuncAddressInDebugDylibMachHeader(),
        "Stub Executor: Swift entry point not found \\(entry size: 0\\)\\. Failing\\.");

    fake.imageSections[{&libraryHeader, "__swift5_entry"}] = {record, 3};
    EXPECT_LAUNCHER_ABORT(fake, lookupMainFuncAddressInDebugDylibMachHeader(),
                          "\\(entry size: 3\\)");

    fake.imageSections[{&libraryHeader, "__swift5_entry"}] = {record, 4};
    EXPECT_EQ(lookupMainFuncAddressInDebugDylibMachHeader(), &swiftRecordedEntry);

    fake.imageSections[{&libraryHeader, "__swift5_entry"}] = {zeroRecord, 8};
    EXPECT_LAUNCHER_ABORT(fake, lookupMainFuncAddressInDebugDylibMachHeader(),
                          "Stub Executor: Swift entry point address could not be determined\\.");
}

TEST_F(SwiftEntry, WithoutALibraryThereIsNoRecordToRead) {
    fake.sections[QuorlanRelativePathString] = "";
    EXPECT_LAUNCHER_ABORT(
        fake, lookupMainFuncAddressInDebugDylibMachHeader(),
        "Stub Executor: Failed to get debug dylib handle for Swift entry fetcher\\.");
}

TEST_F(SwiftEntry, AnAgentSuppliedLibrarysRecordComesFromTheAgent) {
    fake.environment["__PREVIEWS_EXECUTABLE_DYLIB_NAME"] = "/agent/Quorlan.debug.so";
    EXPECT_LAUNCHER_ABORT(
        fake, lookupMainFuncAddressInDebugDylibMachHeader(),
        "Previews injection Swift entry fetcher not found\\.\n"
        "Stub Executor: Failed to find Previews injection Swift entry fetcher\\.");

    fake.globals["__previews_injection_get_debug_dodylib_swift_entry_section_data"] =
        addressOf(agentWithoutRecord);
    EXPECT_LAUNCHER_ABORT(fake, lookupMainFuncAddressInDebugDylibMachHeader(),
                          "\\(entry size: 4\\)");

    fake.globals["__previews_injection_get_debug_dodylib_swift_entry_section_data"] =
        addressOf(agentRecord);
    EXPECT_EQ(lookupMainFuncAddressInDebugDylibMachHeader(), &swiftRecordedEntry);
    EXPECT_TRUE(fake.opened.empty());
}

} // namespace
