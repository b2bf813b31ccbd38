#include "engine/run/relink_run.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

using namespace tessaly;
using tessaly::testing::readFile;
using tessaly::testing::TempDir;
using tessaly::testing::writeFile;
namespace fs = std::filesystem;

namespace {

const std::string kDocument = R"(<?xml version="1.0" encoding="UTF-8"?>
<fcpxml version="1.10">
    <resources>
        <format id="r1"/>
        <format id="r2"/>
        <asset id="r3" format="r2"><media-rep src="file:///m/A.braw"/></asset>
        <asset id="r4" format="r1"><media-rep src="file:///m/B.mov"/></asset>
    </resources>
    <library><event><project><sequence format="r1"><spine><asset-clip ref="r4"/></spine></sequence></project></event></library>
</fcpxml>
)";

const std::string kNoMov =
    R"(<fcpxml><resources><asset id="r3"><media-rep src="file:///m/A.braw"/></asset></resources></fcpxml>)";

std::string failureOf(const std::variant<RelinkRun::Prepared, RelinkRun::Failure> &prepared) {
    const auto *failure = std::get_if<RelinkRun::Failure>(&prepared);
    return failure ? failure->message : std::string();
}

} // namespace

TEST(DefaultOutputLocation, AddsBrawBeforeTheLastExtension) {
    EXPECT_EQ(RelinkRun::defaultOutputLocation("/Edits/Day1.fcpxml"), "/Edits/Day1_braw.fcpxml");
    EXPECT_EQ(RelinkRun::defaultOutputLocation("/Edits/Day1.fcpxmld"), "/Edits/Day1_braw.fcpxmld");
    EXPECT_EQ(RelinkRun::defaultOutputLocation("/Edits/Day1.fcpxmld/"), "/Edits/Day1_braw.fcpxmld");
    EXPECT_EQ(RelinkRun::defaultOutputLocation("/Edits/Cut.final.FCPXML"),
              "/Edits/Cut.final_braw.FCPXML");
    EXPECT_EQ(RelinkRun::defaultOutputLocation("/Edits/Notes"), "/Edits/Notes_braw.");
}

TEST(RelinkRun, PreviewOfAFileWritesNothing) {
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kDocument);
    fs::path document;
    const auto outcome =
        RelinkRun::perform(dir / "Day1.fcpxml", dir / "Day1_braw.fcpxml", true, &document);
    ASSERT_TRUE(outcome.result) << outcome.errorMessage;
    EXPECT_EQ(outcome.result->changes.size(), 1u);
    EXPECT_EQ(document, dir / "Day1.fcpxml");
    EXPECT_FALSE(fs::exists(dir / "Day1_braw.fcpxml"));
    EXPECT_EQ(readFile(dir / "Day1.fcpxml"), kDocument);
}

TEST(RelinkRun, ApplyOfAFileRewritesTheCopyAndRefusesToOverwrite) {
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kDocument);
    const auto outcome = RelinkRun::perform(dir / "Day1.fcpxml", dir / "Day1_braw.fcpxml", false);
    ASSERT_TRUE(outcome.result) << outcome.errorMessage;
    EXPECT_EQ(readFile(dir / "Day1.fcpxml"), kDocument);
    const std::string written = readFile(dir / "Day1_braw.fcpxml");
    EXPECT_NE(written.find("file:///m/B.braw"), std::string::npos);

    const auto again = RelinkRun::perform(dir / "Day1.fcpxml", dir / "Day1_braw.fcpxml", false);
    EXPECT_FALSE(again.result);
    EXPECT_EQ(again.errorMessage.rfind("Failed to copy file: ", 0), 0u) << again.errorMessage;
    EXPECT_NE(again.errorMessage.find("File exists"), std::string::npos);
    EXPECT_EQ(readFile(dir / "Day1_braw.fcpxml"), written);

    const auto onto = RelinkRun::perform(dir / "Day1.fcpxml", dir / "Day1.fcpxml", false);
    EXPECT_EQ(onto.errorMessage.rfind("Failed to copy file: ", 0), 0u);
    EXPECT_EQ(readFile(dir / "Day1.fcpxml"), kDocument);
}

TEST(RelinkRun, EngineFailureLeavesAnUnchangedCopy) {
    TempDir dir;
    writeFile(dir / "NoMov.fcpxml", kNoMov);
    const auto outcome = RelinkRun::perform(dir / "NoMov.fcpxml", dir / "Out.fcpxml", false);
    EXPECT_EQ(outcome.errorMessage, "No .mov proxy assets found. Nothing to relink.");
    EXPECT_EQ(readFile(dir / "Out.fcpxml"), kNoMov);

    writeFile(dir / "Broken.fcpxml", "<fcpxml>\n  <resources>\n</fcpxml>");
    const auto broken = RelinkRun::perform(dir / "Broken.fcpxml", dir / "B.fcpxml", true);
    EXPECT_EQ(broken.errorMessage.rfind("\u201CBroken.fcpxml\u201D is not well-formed XML: ", 0),
              0u)
        << broken.errorMessage;
}

TEST(RelinkRun, BundleIsSearchedAndReplacedOnTheSecondApply) {
    TempDir dir;
    writeFile(dir / "Project.FCPXMLD" / "Info.FCPXML", kDocument);
    writeFile(dir / "Project.FCPXMLD" / "Media" / "Other.fcpxml", kNoMov);

    fs::path document;
    const auto preview =
        RelinkRun::perform(dir / "Project.FCPXMLD", dir / "Out.fcpxmld", true, &document);
    ASSERT_TRUE(preview.result) << preview.errorMessage;
    EXPECT_EQ(document, dir / "Project.FCPXMLD" / "Info.FCPXML");
    EXPECT_FALSE(fs::exists(dir / "Out.fcpxmld"));

    ASSERT_TRUE(RelinkRun::perform(dir / "Project.FCPXMLD", dir / "Out.fcpxmld", false).result);
    writeFile(dir / "Out.fcpxmld" / "stale.txt", "left over");
    const auto second = RelinkRun::perform(dir / "Project.FCPXMLD", dir / "Out.fcpxmld", false);
    ASSERT_TRUE(second.result) << second.errorMessage;
    EXPECT_FALSE(fs::exists(dir / "Out.fcpxmld" / "stale.txt"));
    EXPECT_TRUE(fs::exists(dir / "Out.fcpxmld" / "Media" / "Other.fcpxml"));
    EXPECT_EQ(readFile(dir / "Project.FCPXMLD" / "Info.FCPXML"), kDocument);
    EXPECT_NE(readFile(dir / "Out.fcpxmld" / "Info.FCPXML").find("B.braw"), std::string::npos);
}

TEST(RelinkRun, BundleWithoutTopLevelDocumentFails) {
    TempDir dir;
    writeFile(dir / "Deep.fcpxmld" / "Sub" / "Info.fcpxml", kDocument);
    const auto deep = RelinkRun::perform(dir / "Deep.fcpxmld", dir / "Out.fcpxmld", false);
    EXPECT_EQ(deep.errorMessage, "No .fcpxml found inside bundle.");
    EXPECT_TRUE(fs::exists(dir / "Out.fcpxmld" / "Sub" / "Info.fcpxml"));

    writeFile(dir / "Plain.fcpxmld", kDocument);
    EXPECT_EQ(RelinkRun::perform(dir / "Plain.fcpxmld", dir / "P.fcpxmld", true).errorMessage,
              "No .fcpxml found inside bundle.");
}

TEST(RelinkRun, OutputMayNeverOverlapTheInputBundle) {
    TempDir dir;
    const fs::path bundle = dir / "Edits" / "Day1.fcpxmld";
    writeFile(bundle / "Info.fcpxml", kDocument);
    const std::string before = readFile(bundle / "Info.fcpxml");

    EXPECT_EQ(failureOf(RelinkRun::prepare(bundle, bundle, false)), RelinkRun::kOutputInsideInput);
    EXPECT_EQ(failureOf(RelinkRun::prepare(bundle, dir / "Edits" / "." / "Day1.fcpxmld/", false)),
              RelinkRun::kOutputInsideInput);
    EXPECT_EQ(failureOf(RelinkRun::prepare(bundle, bundle / "Out.fcpxmld", false)),
              RelinkRun::kOutputInsideInput);
    EXPECT_EQ(failureOf(RelinkRun::prepare(bundle, dir / "Edits", false)),
              RelinkRun::kOutputContainsInput);
    EXPECT_EQ(failureOf(RelinkRun::prepare(bundle, dir.path(), false)),
              RelinkRun::kOutputContainsInput);
    fs::create_directory_symlink(bundle, dir / "alias.fcpxmld");
    EXPECT_EQ(failureOf(RelinkRun::prepare(bundle, dir / "alias.fcpxmld", false)),
              RelinkRun::kOutputInsideInput);

    EXPECT_EQ(readFile(bundle / "Info.fcpxml"), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(bundle), fs::directory_iterator()), 1);
}

TEST(RelinkRun, DocumentLinkedFromTheBundleIsNeverWritten) {
    TempDir dir;
    writeFile(dir / "Real.fcpxml", kDocument);
    fs::create_directories(dir / "Linked.fcpxmld");
    fs::create_symlink(dir / "Real.fcpxml", dir / "Linked.fcpxmld" / "Info.fcpxml");

    const auto apply = RelinkRun::perform(dir / "Linked.fcpxmld", dir / "Out.fcpxmld", false);
    EXPECT_EQ(apply.errorMessage, RelinkRun::kDocumentIsLink);
    EXPECT_EQ(readFile(dir / "Real.fcpxml"), kDocument);
    EXPECT_EQ(RelinkRun::perform(dir / "Linked.fcpxmld", dir / "Out.fcpxmld", true).errorMessage,
              RelinkRun::kDocumentIsLink);
}

TEST(RelinkRun, PlainFolderFailsBeforeAnythingIsCopied) {
    TempDir dir;
    writeFile(dir / "Media" / "A.mov", "not really a movie");
    const auto outcome = RelinkRun::perform(dir / "Media", dir / "Media_braw.", false);
    EXPECT_EQ(outcome.errorMessage, "Cannot read \u201CMedia\u201D: Is a directory.");
    EXPECT_FALSE(fs::exists(dir / "Media_braw."));
}
