#include "fake_platform.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

using tessaly::testing::FakePlatform;
using tessaly::testing::LogLine;

namespace {

TEST(EmbeddedStrings, CopiesThisBuildsConfigurationAndSaysWhatItFound) {
    FakePlatform fake;
    fake.embedThisBuildsStrings();
    quorlanLoadEmbeddedStrings();

    EXPECT_STREQ(debugDylibRelativePath, "Quorlan.debug.so");
    EXPECT_STREQ(debugDylibEntryPointName, "");
    EXPECT_STREQ(debugDylibInstallName, "@rpath/Quorlan.debug.so");
    EXPECT_EQ(didLoadDylibStringSections, 1);
    EXPECT_EQ(
        fake.log,
        (std::vector<LogLine>{
            {QuorlanLogDebug, "Looking up debug dylib relative path"},
            {QuorlanLogDebug, "Found debug dylib relative path string `Quorlan.debug.so`"},
            {QuorlanLogDebug, "Looking up debug dylib entry point name"},
            {QuorlanLogDebug, "No debug dylib entry point name defined."},
            {QuorlanLogDebug, "Looking up debug dylib install name"},
            {QuorlanLogDebug, "Found debug dylib install name string `@rpath/Quorlan.debug.so`"},
        }));
}

TEST(EmbeddedStrings, EmptyStringsAreReportedAndOnlyAMissingInstallNameIsAnError) {
    FakePlatform fake;
    fake.sections[QuorlanEntryPointNameString] = "_start_app";
    quorlanLoadEmbeddedStrings();

    EXPECT_STREQ(debugDylibRelativePath, "");
    EXPECT_STREQ(debugDylibEntryPointName, "_start_app");
    EXPECT_EQ(fake.log,
              (std::vector<LogLine>{
                  {QuorlanLogDebug, "Looking up debug dylib relative path"},
                  {QuorlanLogDebug, "No debug dylib relative path defined."},
                  {QuorlanLogDebug, "Looking up debug dylib entry point name"},
                  {QuorlanLogDebug, "Found debug dylib entry point name string `_start_app`"},
                  {QuorlanLogDebug, "Looking up debug dylib install name"},
                  {QuorlanLogError, "No debug dylib install name defined."},
              }));
}

TEST(EmbeddedStrings, AreReadOnceAndKeptWhenTheSectionsChange) {
    FakePlatform fake;
    fake.embedThisBuildsStrings();
    quorlanLoadEmbeddedStrings();
    fake.log.clear();
    fake.sections[QuorlanRelativePathString] = "Other.so";
    quorlanLoadEmbeddedStrings();

    EXPECT_STREQ(debugDylibRelativePath, "Quorlan.debug.so");
    EXPECT_TRUE(fake.log.empty());
}

struct LimitCase {
    QuorlanEmbeddedString section;
    std::size_t length;
    const char *tooLarge; // the abort's message, or null when the length fits
};

std::string limitCaseName(const ::testing::TestParamInfo<LimitCase> &info) {
    const char *sections[] = {"RelativePath", "EntryPointName", "InstallName"};
    return sections[info.param.section] + std::to_string(info.param.length);
}

class EmbeddedStringLimits : public ::testing::TestWithParam<LimitCase> {};

TEST_P(EmbeddedStringLimits, AcceptTheLongestStringTheBufferHoldsAndAbortBeyond) {
    const LimitCase &limit = GetParam();
    FakePlatform fake;
    fake.embedThisBuildsStrings();
    fake.sections[limit.section] = "_" + std::string(limit.length - 1, 'x');
    if (limit.tooLarge) {
        EXPECT_LAUNCHER_ABORT(fake, quorlanLoadEmbeddedStrings(), limit.tooLarge);
        return;
    }
    quorlanLoadEmbeddedStrings();
    const char *buffers[] = {debugDylibRelativePath, debugDylibEntryPointName,
                             debugDylibInstallName};
    EXPECT_EQ(std::string(buffers[limit.section]), fake.sections[limit.section]);
}

INSTANTIATE_TEST_SUITE_P(
    EmbeddedStrings, EmbeddedStringLimits,
    ::testing::Values(LimitCase{QuorlanRelativePathString, 1023, nullptr},
                      LimitCase{QuorlanRelativePathString, 1024,
                                "Size of stub executor text section too large: \\(1025 > 1024\\)"},
                      LimitCase{QuorlanEntryPointNameString, 249, nullptr},
                      LimitCase{QuorlanEntryPointNameString, 250,
                                "Size of stub executor text section too large: \\(251 > 250\\)"},
                      LimitCase{QuorlanInstallNameString, 249, nullptr},
                      LimitCase{QuorlanInstallNameString, 250,
                                "Size of stub executor text section too large: \\(251 > 250\\)"}),
    limitCaseName);

TEST(EmbeddedStrings, ASectionEndingBeforeItsStartAborts) {
    FakePlatform fake;
    fake.embedThisBuildsStrings();
    static const char bytes[] = "abcdef";
    fake.rawSections[QuorlanEntryPointNameString] = {bytes + 4, bytes + 1};
    EXPECT_LAUNCHER_ABORT(fake, quorlanLoadEmbeddedStrings(),
                          "Stub executor cannot load text section from binary: \\(0x[0-9a-f]+, "
                          "0x[0-9a-f]+\\)");
}

TEST(EmbeddedStrings, SectionsTheLinkerLeftOutReadAsEmpty) {
    FakePlatform fake;
    fake.embedThisBuildsStrings();
    fake.rawSections[QuorlanEntryPointNameString] = {nullptr, nullptr};
    quorlanLoadEmbeddedStrings();
    EXPECT_STREQ(debugDylibEntryPointName, "");
    EXPECT_STREQ(debugDylibInstallName, "@rpath/Quorlan.debug.so");
}

} // namespace
