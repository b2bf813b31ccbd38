#include "workflow_support.h"

#include "engine/run/relink_run.h"

#include <sys/stat.h>

using namespace tessaly;
using namespace tessaly::testing;

class RelinkViewModelFaults : public ::testing::Test {
protected:
    TempDir dir;
    std::shared_ptr<ScriptedChooser> chooser = std::make_shared<ScriptedChooser>();
    std::shared_ptr<RelinkViewModel> model = RelinkViewModel::create(chooser);

    /// Applies `input` to `output` and returns the message of the failure it must end in.
    std::string applyFailing(const fs::path &input, const fs::path &output) {
        model->setInput(input);
        chooser->outputAnswer = output;
        model->selectOutput();
        model->runApply();
        return expectFailure(*model);
    }
};

TEST_F(RelinkViewModelFaults, OutputThatIsNoEarlierOutputBundleIsRefusedAndNothingIsTouched) {
    const fs::path bundle = dir / "Edits" / "Day1.fcpxmld";
    writeFile(bundle / "Info.fcpxml", kTwoProxies);
    writeFile(bundle / "Media" / "notes.txt", "keep me");
    fs::create_directory_symlink(bundle, dir / "alias.fcpxmld");
    writeFile(dir / "Work" / "notes.txt", "the user's own folder");
    writeFile(dir / "Cut_braw.fcpxmld", "a file named like a bundle");
    const auto before = snapshot(dir.path());
    const auto notReplaced = [&](const fs::path &output) {
        return "Failed to copy bundle: \u201CDay1.fcpxmld\u201D could not be copied to \u201C" +
               output.string() +
               "\u201D: it is not an .fcpxmld bundle, so Tessaly does not replace it.";
    };

    const struct {
        fs::path output;
        std::string message;
    } cases[] = {
        {dir / "Work", notReplaced(dir / "Work")},
        {dir / "Cut_braw.fcpxmld", notReplaced(dir / "Cut_braw.fcpxmld")},
        {bundle, std::string(RelinkRun::kOutputInsideInput)},
        {bundle / "Media", std::string(RelinkRun::kOutputInsideInput)},
        {bundle / "Out.fcpxmld", std::string(RelinkRun::kOutputInsideInput)},
        {dir / "alias.fcpxmld", std::string(RelinkRun::kOutputInsideInput)},
        {dir / "Edits", std::string(RelinkRun::kOutputContainsInput)},
        {dir.path(), std::string(RelinkRun::kOutputContainsInput)},
    };
    for (const auto &refused : cases) {
        SCOPED_TRACE(refused.output.string());
        EXPECT_EQ(applyFailing(bundle, refused.output), refused.message);
        EXPECT_EQ(snapshot(dir.path()), before);
    }
}

TEST_F(RelinkViewModelFaults, DocumentLinkedFromTheBundleIsNeverWritten) {
    writeFile(dir / "Real.fcpxml", kTwoProxies);
    fs::create_directories(dir / "Linked.fcpxmld");
    fs::create_symlink(dir / "Real.fcpxml", dir / "Linked.fcpxmld" / "Info.fcpxml");

    EXPECT_EQ(applyFailing(dir / "Linked.fcpxmld", dir / "Out.fcpxmld"),
              RelinkRun::kDocumentIsLink);
    EXPECT_EQ(readFile(dir / "Real.fcpxml"), kTwoProxies);
    EXPECT_TRUE(fs::is_symlink(dir / "Linked.fcpxmld" / "Info.fcpxml"));

    model->runDryRun();
    EXPECT_EQ(expectFailure(*model), RelinkRun::kDocumentIsLink);
}

TEST_F(RelinkViewModelFaults, PlainFolderFailsWithTheLoadersMessageBeforeCopying) {
    writeFile(dir / "Media" / "A001.mov", "not really a movie");
    model->setInput(dir / "Media");
    model->runApply();
    EXPECT_EQ(expectFailure(*model), "Cannot read \u201CMedia\u201D: Is a directory.");
    EXPECT_FALSE(fs::exists(dir / "Media_braw."));

    model->runDryRun();
    EXPECT_EQ(expectFailure(*model), "Cannot read \u201CMedia\u201D: Is a directory.");
}

TEST_F(RelinkViewModelFaults, BundleThroughALinkIsCopiedAndAFailedReplaceKeepsTheEarlierOutput) {
    writeFile(dir / "real.fcpxmld" / "Info.fcpxml", kTwoProxies);
    writeFile(dir / "real.fcpxmld" / "Media" / "notes.txt", "notes");
    fs::create_directory_symlink("real.fcpxmld", dir / "link.fcpxmld");
    model->setInput(dir / "link.fcpxmld");
    model->runApply();
    expectSuccess(*model, RelinkViewModel::AppPhase::done);
    const fs::path output = dir / "link_braw.fcpxmld";
    EXPECT_FALSE(fs::is_symlink(output));
    EXPECT_EQ(readFile(output / "Media" / "notes.txt"), "notes");
    EXPECT_EQ(readFile(dir / "real.fcpxmld" / "Info.fcpxml"), kTwoProxies);

    // The earlier output would be replaced, but the new one cannot be made whole.
    ASSERT_EQ(::mkfifo((dir / "real.fcpxmld" / "Media" / "feed").c_str(), 0644), 0);
    const auto before = snapshot(dir.path());
    model->runApply();
    EXPECT_EQ(
        expectFailure(*model),
        "Failed to copy bundle: \u201CMedia/feed\u201D in \u201Clink.fcpxmld\u201D is a named "
        "pipe; only files, folders and links can be copied.");
    EXPECT_EQ(snapshot(dir.path()), before);
}
