#include "workflow_support.h"

using namespace tessaly;
using namespace tessaly::testing;

TEST_F(RelinkViewModelTest, InputChooserSetsTheInputOnlyWhenConfirmed) {
    Recorder recorder(*model);
    model->selectInput();
    ASSERT_EQ(chooser->inputTitles.size(), 1u);
    EXPECT_EQ(chooser->inputTitles[0], QStringLiteral("Choose FCPXML or FCPXMLD"));
    EXPECT_TRUE(recorder.events.empty());

    // Neither the extension nor the existence of the choice is examined, and choosing the same
    // input again announces every assignment again although no value changes.
    chooser->inputAnswer = fs::path("/Edits/Cut.final.FCPXML");
    const auto expected = Recorder::announced(
        {"inputURL=/Edits/Cut.final.FCPXML", "outputURL=/Edits/Cut.final_braw.FCPXML", "phase=idle",
         "errorMessage=none", "changes=0", "logURL=none", "logError=none"});
    for (int time = 1; time <= 2; ++time) {
        recorder.events.clear();
        model->selectInput();
        EXPECT_EQ(recorder.events, expected) << "choice " << time;
    }

    recorder.events.clear();
    chooser->inputAnswer = std::nullopt;
    model->selectInput();
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_EQ(model->inputURL(), fs::path("/Edits/Cut.final.FCPXML"));
}

TEST_F(RelinkViewModelTest, OutputChooserNeedsAnInputAndProposesTheCurrentName) {
    Recorder recorder(*model);
    chooseOutput("/Elsewhere/Final.fcpxml");
    EXPECT_TRUE(chooser->outputRequests.empty()) << "no chooser without an input";
    EXPECT_TRUE(recorder.events.empty());

    model->setInput("/Edits/Day1.fcpxml");
    recorder.events.clear();
    model->selectOutput();
    ASSERT_EQ(chooser->outputRequests.size(), 1u);
    EXPECT_EQ(chooser->outputRequests[0].first, QStringLiteral("Save Relinked File As"));
    EXPECT_EQ(chooser->outputRequests[0].second, QStringLiteral("Day1_braw.fcpxml"));
    EXPECT_EQ(recorder.events, Recorder::announced({"outputURL=/Elsewhere/Final.fcpxml"}));

    recorder.events.clear();
    chooser->outputAnswer = std::nullopt;
    model->selectOutput();
    ASSERT_EQ(chooser->outputRequests.size(), 2u);
    EXPECT_EQ(chooser->outputRequests[1].second, QStringLiteral("Final.fcpxml"));
    EXPECT_TRUE(recorder.events.empty()) << "cancelling notifies nobody";
    EXPECT_EQ(model->outputURL(), fs::path("/Elsewhere/Final.fcpxml"));

    // A new input brings its own default output in place of the one chosen.
    model->setInput("/Edits/Day2.fcpxmld/");
    EXPECT_EQ(model->outputURL(), fs::path("/Edits/Day2_braw.fcpxmld"));
}

TEST(RelinkViewModelWithoutChooser, ChoosingDoesNothing) {
    const auto model = RelinkViewModel::create(nullptr);
    model->setInput("/Edits/Day1.fcpxml");
    Recorder recorder(*model);
    model->selectInput();
    model->selectOutput();
    EXPECT_TRUE(recorder.events.empty());
}
