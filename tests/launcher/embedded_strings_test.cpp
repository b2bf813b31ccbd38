// This build's own strings and the lines they log are pinned by the executor's normal start,
// which also shows them read once though it asks three times.

#include "fake_platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using tessaly::testing::FakePlatform;
using tessaly::testing::LogLine;

namespace {

TEST(EmbeddedStrings, EmptyOnesAreReportedOnlyAMissingInstallNameAsAnErrorAndReversedOnesAbort) {
    FakePlatform fake;
    fake.setLogSetting("error");
    // A section that stayed empty may have no bounding symbols at all.
    fake.rawSections[QuorlanRelativePathString] = {nullptr, nullptr};
    fake.sections[QuorlanInstallNameString] = "";
    quorlanLoadEmbeddedStrings();
    EXPECT_STREQ(debugDylibRelativePath, "");
    EXPECT_EQ(fake.log,
              (std::vector<LogLine>{{QuorlanLogError, "No debug dylib install name defined."}}));

    static const char bytes[] = "abcdef";
    fake.rawSections[QuorlanEntryPointNameString] = {bytes + 4, bytes + 1};
    didLoadDylibStringSections = 0;
    EXPECT_LAUNCHER_ABORT(quorlanLoadEmbeddedStrings(),
                          "Stub executor cannot load text section from binary: \\(0x[0-9a-f]+, "
                          "0x[0-9a-f]+\\)");
}

TEST(EmbeddedStrings, EachBufferTakesTheLongestStringItHoldsAndAbortsBeyond) {
    struct Case {
        QuorlanEmbeddedString section;
        const char *buffer;
        std::size_t size;
    };
    for (Case c : {Case{QuorlanRelativePathString, debugDylibRelativePath, 1024},
                   Case{QuorlanEntryPointNameString, debugDylibEntryPointName, 250},
                   Case{QuorlanInstallNameString, debugDylibInstallName, 250}}) {
        SCOPED_TRACE(c.section);
        FakePlatform fake;
        fake.sections[c.section] = std::string(c.size - 1, 'x');
        quorlanLoadEmbeddedStrings();
        EXPECT_EQ(c.buffer, fake.sections[c.section]);

        didLoadDylibStringSections = 0;
        fake.sections[c.section] += 'x';
        EXPECT_LAUNCHER_ABORT(quorlanLoadEmbeddedStrings(),
                              "Size of stub executor text section too large: \\(" +
                                  std::to_string(c.size + 1) + " > " + std::to_string(c.size) +
                                  "\\)");
    }
}

} // namespace
