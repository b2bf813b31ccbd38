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
    SwiftEntry() {
        if (!fillRecord())
            return;
        fake.embedThisBuildsStrings();
        fake.addLibrary("@rpath/Quorlan.debug.so", &library);
        fake.headers[&library] = &libraryHeader;
        fake.imageSections[{&libraryHeader, "__swift5_entry"}] = {record, 8};
    }
    void SetUp() override {
        if (!fillRecord())
            GTEST_SKIP() << "code and data of this test are too far apart for a 32-bit offset";
    }
    FakePlatform fake;
};

TEST_F(SwiftEntry, TheLibrarysRecordLeadsToItsEntry) {
    EXPECT_EQ(lookupMainFuncAddressInDebugDylibMachHeader(), &swiftRecordedEntry);
    std::vector<std::string> texts = fake.texts();
    ASSERT_EQ(texts.size(), 11u);
    EXPECT_EQ(texts[6], "Opening debug dylib with '@rpath/Quorlan.debug.so'");
    EXPECT_EQ(texts[8], "dyld image header API available");
    EXPECT_EQ(texts[9].rfind("Mach header found at 0x", 0), 0u) << texts[9];
    // The last line names the record and the offset in hexadecimal.
    EXPECT_NE(fake.log.back().text.find("Entry section 0x"), std::string::npos);
}

TEST_F(SwiftEntry, TheTrampolineCallsTheEntryAndReturnsItsResult) {
    char name[] = "Quorlan";
    char *argv[] = {name, name, nullptr};
    EXPECT_EQ(__debug_dylib_swift_extension_entry_trampoline(2, argv), 42);
    EXPECT_EQ(fake.texts()[0],
              "Swift extension entry trampoline called. Jumping to debug dylib entry point.");
}

TEST_F(SwiftEntry, WithoutTheHeaderQueryTheLoadedImagesAreSearchedBySuffix) {
    fake.withoutImageHeaderQuery();
    fake.images = {{"", nullptr},
                   {"/usr/lib/x86_64-linux-gnu/libc.so.6", &library},
                   {"/opt/tessaly/bin/../lib/Quorlan.debug.so", &libraryHeader}};
    EXPECT_EQ(lookupMainFuncAddressInDebugDylibMachHeader(), &swiftRecordedEntry);
    std::vector<std::string> texts = fake.texts();
    EXPECT_NE(
        std::find(texts.begin(), texts.end(), "dyld image header API not available, falling back"),
        texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(),
                        "Looking for dylib image with suffix: '/Quorlan.debug.so'"),
              texts.end());
}

TEST_F(SwiftEntry, TheImageSearchStopsAtTheFirstMatchAndAbortsWhenItHasNoHeader) {
    fake.withoutImageHeaderQuery();
    fake.images = {{"/a/Quorlan.debug.so", nullptr}, {"/b/Quorlan.debug.so", &libraryHeader}};
    EXPECT_LAUNCHER_ABORT(fake, findDebugDylibMachHeaderAmongLoadedImages(),
                          "Could not find debug dylib: /Quorlan.debug.so\n"
                          "Stub Executor: Failed to lookup debug dylib MachO handle by suffix "
                          "'/Quorlan.debug.so'.");
}

TEST_F(SwiftEntry, SuffixesFollowTheInstallNamesForm) {
    struct Case {
        const char *installName;
        const char *image; // a loaded image's path
        bool found;
    };
    for (Case c : {Case{"@rpath/Quorlan.debug.so", "/x/Quorlan.debug.so", true},
                   Case{"@rpath/Quorlan.debug.so", "/x/MyQuorlan.debug.so", false},
                   Case{"@rpath/Quorlan.debug.so", "Quorlan.debug.so", false},
                   Case{"/opt/lib/Quorlan.debug.so", "/opt/lib/Quorlan.debug.so", true},
                   Case{"/opt/lib/Quorlan.debug.so", "/usr/lib/Quorlan.debug.so", false},
                   Case{"@Quorlan.debug.so", "/x/@Quorlan.debug.so", true}}) {
        SCOPED_TRACE(std::string(c.installName) + " / " + c.image);
        didLoadDylibStringSections = 0;
        fake.sections[QuorlanInstallNameString] = c.installName;
        fake.images = {{c.image, &libraryHeader}};
        if (c.found)
            EXPECT_EQ(findDebugDylibMachHeaderAmongLoadedImages(), &libraryHeader);
        else
            EXPECT_LAUNCHER_ABORT(fake, findDebugDylibMachHeaderAmongLoadedImages(), "by suffix");
    }
}

TEST_F(SwiftEntry, AnEmptyInstallNameOrANegativeImageCountFindsNothing) {
    fake.images = {{"/x/Quorlan.debug.so", &libraryHeader}};
    fake.imageCountOverride = -3;
    EXPECT_LAUNCHER_ABORT(fake, findDebugDylibMachHeaderAmongLoadedImages(),
                          "by suffix '/Quorlan.debug.so'");
    // Every path ends with the empty text, and the first image is the launcher itself.
    fake.imageCountOverride.reset();
    fake.sections[QuorlanInstallNameString] = "";
    EXPECT_LAUNCHER_ABORT(fake, findDebugDylibMachHeaderAmongLoadedImages(), "by suffix ''");
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
    std::vector<std::string> texts = fake.texts();
    EXPECT_EQ(texts[6], "Debug dylib is interposed. Looking for entry trampoline in pseudodylib.");
    EXPECT_EQ(texts[7].rfind("Received Swift entry section pointer: 0x", 0), 0u) << texts[7];
}

} // namespace
