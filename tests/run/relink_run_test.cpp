#include "engine/run/pending_output.h"
#include "engine/run/relink_run.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace tessaly;
using tessaly::testing::readFile;
using tessaly::testing::snapshot;
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

RunOutcome run(const fs::path &input, const fs::path &output, bool dryRun,
               bool replaceExisting = false) {
    RunRequest request;
    request.input = input;
    request.output = output;
    request.dryRun = dryRun;
    request.replaceExisting = replaceExisting;
    return RelinkRun::perform(request);
}

std::string failureOf(const fs::path &input, const fs::path &output, bool replaceExisting) {
    const RunOutcome outcome = run(input, output, false, replaceExisting);
    EXPECT_FALSE(outcome.succeeded());
    EXPECT_TRUE(outcome.written.empty());
    return outcome.errorMessage;
}

/// The names in `folder` that are temporaries of a run.
std::vector<std::string> temporaries(const fs::path &folder) {
    std::vector<std::string> found;
    for (const auto &entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().find(".tessaly-") != std::string::npos)
            found.push_back(entry.path().filename().string());
    }
    return found;
}

unsigned permissionsOf(const fs::path &path) {
    return unsigned(fs::status(path).permissions() & fs::perms::all);
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
    const auto outcome = run(dir / "Day1.fcpxml", dir / "Day1_braw.fcpxml", true);
    ASSERT_TRUE(outcome.succeeded()) << outcome.errorMessage;
    EXPECT_EQ(outcome.result->changes.size(), 1u);
    EXPECT_EQ(outcome.document, dir / "Day1.fcpxml");
    EXPECT_TRUE(outcome.written.empty());
    EXPECT_FALSE(fs::exists(dir / "Day1_braw.fcpxml"));
    EXPECT_EQ(readFile(dir / "Day1.fcpxml"), kDocument);
}

TEST(RelinkRun, ApplyOfAFileWritesTheOutputAndReplacesOnlyWithConsent) {
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kDocument);
    const auto outcome = run(dir / "Day1.fcpxml", dir / "Day1_braw.fcpxml", false);
    ASSERT_TRUE(outcome.succeeded()) << outcome.errorMessage;
    EXPECT_EQ(outcome.document, dir / "Day1.fcpxml");
    EXPECT_EQ(outcome.written, dir / "Day1_braw.fcpxml");
    EXPECT_EQ(readFile(dir / "Day1.fcpxml"), kDocument);
    const std::string written = readFile(dir / "Day1_braw.fcpxml");
    EXPECT_NE(written.find("file:///m/B.braw"), std::string::npos);

    writeFile(dir / "Day1_braw.fcpxml", "an earlier output");
    const auto again = run(dir / "Day1.fcpxml", dir / "Day1_braw.fcpxml", false);
    EXPECT_EQ(again.errorMessage,
              "Failed to copy file: \u201CDay1.fcpxml\u201D could not be copied "
              "to \u201C" +
                  (dir / "Day1_braw.fcpxml").string() + "\u201D: File exists.");
    EXPECT_TRUE(again.outputExists);
    EXPECT_EQ(readFile(dir / "Day1_braw.fcpxml"), "an earlier output");

    ASSERT_TRUE(run(dir / "Day1.fcpxml", dir / "Day1_braw.fcpxml", false, true).succeeded());
    EXPECT_EQ(readFile(dir / "Day1_braw.fcpxml"), written);

    for (bool consent : {false, true}) {
        EXPECT_EQ(failureOf(dir / "Day1.fcpxml", dir / "Day1.fcpxml", consent),
                  "Failed to copy file: \u201CDay1.fcpxml\u201D could not be copied to \u201C" +
                      (dir / "Day1.fcpxml").string() + "\u201D: it is the input itself.");
    }
    EXPECT_EQ(readFile(dir / "Day1.fcpxml"), kDocument);
    EXPECT_TRUE(temporaries(dir.path()).empty());
}

TEST(RelinkRun, FailedApplyLeavesNothingBehind) {
    TempDir dir;
    writeFile(dir / "NoMov.fcpxml", kNoMov);
    writeFile(dir / "Broken.fcpxml", "<fcpxml>\n  <resources>\n</fcpxml>");
    writeFile(dir / "Broken.fcpxmld" / "Info.fcpxml", "<fcpxml>\n  <resources>\n</fcpxml>");
    const auto before = snapshot(dir.path());

    EXPECT_EQ(failureOf(dir / "NoMov.fcpxml", dir / "Out.fcpxml", false),
              "No .mov proxy assets found. Nothing to relink.");
    // Messages name what the user chose, never a copy.
    EXPECT_EQ(
        failureOf(dir / "Broken.fcpxml", dir / "B.fcpxml", false),
        "\u201CBroken.fcpxml\u201D is not well-formed XML: mismatched tag (line 3, column 3).");
    EXPECT_EQ(failureOf(dir / "Broken.fcpxmld", dir / "B.fcpxmld", true),
              "\u201CInfo.fcpxml\u201D in the bundle \u201CBroken.fcpxmld\u201D is not well-formed "
              "XML: mismatched tag (line 3, column 3).");
    EXPECT_EQ(snapshot(dir.path()), before);
}

TEST(RelinkRun, BundleIsSearchedAndReplacedOnlyWithConsent) {
    TempDir dir;
    writeFile(dir / "Project.FCPXMLD" / "Info.FCPXML", kDocument);
    writeFile(dir / "Project.FCPXMLD" / "Media" / "Other.fcpxml", kNoMov);
    fs::create_symlink("Media/Other.fcpxml", dir / "Project.FCPXMLD" / "Shortcut");

    const auto preview = run(dir / "Project.FCPXMLD", dir / "Out.fcpxmld", true);
    ASSERT_TRUE(preview.succeeded()) << preview.errorMessage;
    EXPECT_EQ(preview.document, dir / "Project.FCPXMLD" / "Info.FCPXML");
    EXPECT_FALSE(fs::exists(dir / "Out.fcpxmld"));

    ASSERT_TRUE(run(dir / "Project.FCPXMLD", dir / "Out.fcpxmld", false).succeeded());
    EXPECT_EQ(fs::read_symlink(dir / "Out.fcpxmld" / "Shortcut"), "Media/Other.fcpxml");
    writeFile(dir / "Out.fcpxmld" / "stale.txt", "left over");
    EXPECT_TRUE(run(dir / "Project.FCPXMLD", dir / "Out.fcpxmld", false).outputExists);
    EXPECT_TRUE(fs::exists(dir / "Out.fcpxmld" / "stale.txt"));

    const auto second = run(dir / "Project.FCPXMLD", dir / "Out.fcpxmld", false, true);
    ASSERT_TRUE(second.succeeded()) << second.errorMessage;
    EXPECT_EQ(second.document, dir / "Project.FCPXMLD" / "Info.FCPXML");
    EXPECT_EQ(second.written, dir / "Out.fcpxmld");
    EXPECT_FALSE(fs::exists(dir / "Out.fcpxmld" / "stale.txt"));
    EXPECT_EQ(readFile(dir / "Out.fcpxmld" / "Media" / "Other.fcpxml"), kNoMov);
    EXPECT_EQ(readFile(dir / "Project.FCPXMLD" / "Info.FCPXML"), kDocument);
    EXPECT_NE(readFile(dir / "Out.fcpxmld" / "Info.FCPXML").find("B.braw"), std::string::npos);
    EXPECT_TRUE(temporaries(dir.path()).empty());
}

TEST(RelinkRun, BundleWithoutTopLevelDocumentFails) {
    TempDir dir;
    writeFile(dir / "Deep.fcpxmld" / "Sub" / "Info.fcpxml", kDocument);
    EXPECT_EQ(failureOf(dir / "Deep.fcpxmld", dir / "Out.fcpxmld", true),
              "No .fcpxml found inside bundle.");
    EXPECT_FALSE(fs::exists(dir / "Out.fcpxmld"));

    writeFile(dir / "Plain.fcpxmld", kDocument);
    EXPECT_EQ(run(dir / "Plain.fcpxmld", dir / "P.fcpxmld", true).errorMessage,
              "No .fcpxml found inside bundle.");
}

TEST(RelinkRun, OutputMayNeverOverlapTheInputBundle) {
    TempDir dir;
    const fs::path bundle = dir / "Edits" / "Day1.fcpxmld";
    writeFile(bundle / "Info.fcpxml", kDocument);
    fs::create_directory_symlink(bundle, dir / "alias.fcpxmld");
    const auto before = snapshot(dir.path());

    const struct {
        fs::path output;
        std::string_view message;
    } cases[] = {
        {bundle, RelinkRun::kOutputInsideInput},
        {dir / "Edits" / "." / "Day1.fcpxmld/", RelinkRun::kOutputInsideInput},
        {bundle / "Out.fcpxmld", RelinkRun::kOutputInsideInput},
        {dir / "alias.fcpxmld", RelinkRun::kOutputInsideInput},
        {dir / "Edits", RelinkRun::kOutputContainsInput},
        {dir.path(), RelinkRun::kOutputContainsInput},
    };
    for (const auto &refused : cases) {
        SCOPED_TRACE(refused.output.string());
        EXPECT_EQ(failureOf(bundle, refused.output, true), refused.message);
        EXPECT_EQ(snapshot(dir.path()), before);
    }
}

TEST(RelinkRun, DocumentLinkedFromTheBundleIsNeverRead) {
    TempDir dir;
    writeFile(dir / "Real.fcpxml", kDocument);
    fs::create_directories(dir / "Linked.fcpxmld");
    fs::create_symlink(dir / "Real.fcpxml", dir / "Linked.fcpxmld" / "Info.fcpxml");

    EXPECT_EQ(failureOf(dir / "Linked.fcpxmld", dir / "Out.fcpxmld", false),
              RelinkRun::kDocumentIsLink);
    EXPECT_FALSE(fs::exists(dir / "Out.fcpxmld"));
    EXPECT_EQ(readFile(dir / "Real.fcpxml"), kDocument);
    EXPECT_EQ(run(dir / "Linked.fcpxmld", dir / "Out.fcpxmld", true).errorMessage,
              RelinkRun::kDocumentIsLink);
}

TEST(RelinkRun, PlainFolderFailsBeforeAnythingIsWritten) {
    TempDir dir;
    writeFile(dir / "Media" / "A.mov", "not really a movie");
    EXPECT_EQ(failureOf(dir / "Media", dir / "Media_braw.", false),
              "Cannot read \u201CMedia\u201D: Is a directory.");
    EXPECT_FALSE(fs::exists(dir / "Media_braw."));
}

TEST(RelinkRun, OutputKeepsTheInputsPermissionsPlusOwnerWrite) {
    TempDir dir;
    writeFile(dir / "Locked.fcpxml", kDocument);
    writeFile(dir / "Locked.fcpxmld" / "Info.fcpxml", kDocument);
    writeFile(dir / "Locked.fcpxmld" / "Media" / "notes.txt", "notes");
    const struct {
        fs::path path;
        unsigned mode;
    } inputs[] = {{dir / "Locked.fcpxml", 0440},
                  {dir / "Locked.fcpxmld" / "Info.fcpxml", 0444},
                  {dir / "Locked.fcpxmld" / "Media" / "notes.txt", 0400},
                  {dir / "Locked.fcpxmld" / "Media", 0550},
                  {dir / "Locked.fcpxmld", 0555}};
    for (const auto &input : inputs)
        fs::permissions(input.path, fs::perms(input.mode));

    ASSERT_TRUE(run(dir / "Locked.fcpxml", dir / "Out.fcpxml", false).succeeded());
    ASSERT_TRUE(run(dir / "Locked.fcpxmld", dir / "Out.fcpxmld", false).succeeded());
    EXPECT_EQ(permissionsOf(dir / "Out.fcpxml"), 0640u);
    EXPECT_EQ(permissionsOf(dir / "Out.fcpxmld" / "Info.fcpxml"), 0644u);
    EXPECT_EQ(permissionsOf(dir / "Out.fcpxmld" / "Media" / "notes.txt"), 0600u);
    EXPECT_EQ(permissionsOf(dir / "Out.fcpxmld" / "Media"), 0750u);
    EXPECT_EQ(permissionsOf(dir / "Out.fcpxmld"), 0755u);
    for (const auto &input : inputs)
        EXPECT_EQ(permissionsOf(input.path), input.mode) << input.path;
    fs::permissions(dir / "Locked.fcpxmld", fs::perms::owner_all);
    fs::permissions(dir / "Locked.fcpxmld" / "Media", fs::perms::owner_all);
}

TEST(PendingOutput, LeftoversOfKilledRunsAreClearedAndThoseOfLiveRunsKept) {
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kDocument);
    const fs::path output = dir / "Day1_braw.fcpxml";
    writeFile(dir / ".Day1_braw.fcpxml.tessaly-Killed", "a killed run's partial output");
    writeFile(dir / ".Day1_braw.fcpxml.tessaly-Folder" / "Info.fcpxml", "a killed bundle run");
    writeFile(dir / ".Day1_braw.fcpxml.tessaly-AtWork", "a run still writing");
    writeFile(dir / ".Day1_braw.fcpxml.tessaly-toolong", "not our pattern");
    writeFile(dir / ".Other.fcpxml.tessaly-Killed", "another output's");
    const int atWork = ::open((dir / ".Day1_braw.fcpxml.tessaly-AtWork").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(atWork, LOCK_EX), 0);

    ASSERT_TRUE(run(dir / "Day1.fcpxml", output, false).succeeded());
    EXPECT_NE(readFile(output).find("B.braw"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / ".Day1_braw.fcpxml.tessaly-Killed"));
    EXPECT_FALSE(fs::exists(dir / ".Day1_braw.fcpxml.tessaly-Folder"));
    EXPECT_TRUE(fs::exists(dir / ".Day1_braw.fcpxml.tessaly-AtWork"));
    EXPECT_TRUE(fs::exists(dir / ".Day1_braw.fcpxml.tessaly-toolong"));
    EXPECT_TRUE(fs::exists(dir / ".Other.fcpxml.tessaly-Killed"));
    ::close(atWork);
}

TEST(PendingOutput, TemporaryNamesStayWithinTheFileSystemsLimit) {
    TempDir dir;
    // 250 bytes, with a two-byte character where the temporary's name must be cut.
    const std::string name = std::string(238, 'a') + "\u00E9" + "bbb.fcpxml";
    ASSERT_EQ(name.size(), 250u);
    const std::string prefix = PendingOutput::temporaryPrefix(name);
    EXPECT_EQ(prefix, "." + std::string(238, 'a') + ".tessaly-");
    writeFile(dir / "Day1.fcpxml", kDocument);
    const auto outcome = run(dir / "Day1.fcpxml", dir / name, false);
    ASSERT_TRUE(outcome.succeeded()) << outcome.errorMessage;
    EXPECT_TRUE(temporaries(dir.path()).empty());
}

TEST(PendingOutput, WriteFileWholeNeverReplacesWithoutBeingAsked) {
    TempDir dir;
    const fs::path log = dir / "changes.log";
    using Placement = PendingOutput::Placement;
    writeFileWhole(log, "first", 0640, Placement::NeverReplace);
    EXPECT_EQ(readFile(log), "first");
    EXPECT_EQ(permissionsOf(log), 0640u);
    try {
        writeFileWhole(log, "second", 0640, Placement::NeverReplace);
        ADD_FAILURE() << "an existing file was replaced";
    } catch (const std::system_error &error) {
        EXPECT_EQ(error.code().value(), EEXIST);
    }
    writeFileWhole(log, "third", 0600, Placement::Replace);
    EXPECT_EQ(readFile(log), "third");
    EXPECT_THROW(writeFileWhole(dir / "missing" / "x.log", "x", 0600, Placement::Replace),
                 std::system_error);
    EXPECT_TRUE(temporaries(dir.path()).empty());
}
