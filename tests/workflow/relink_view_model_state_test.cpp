#include "workflow_support.h"

using namespace tessaly;
using namespace tessaly::testing;
using Phase = RelinkViewModel::AppPhase;

namespace {

/// What every run assigns when it starts, before its job has done anything.
const std::vector<std::string> kRunStart = Recorder::announced(
    {"isRunning=true", "errorMessage=none", "changes=0", "logURL=none", "logError=none"});

std::vector<std::string> followedBy(std::vector<std::string> events,
                                    const std::vector<std::string> &assignments) {
    for (const auto &event : Recorder::announced(assignments))
        events.push_back(event);
    return events;
}

} // namespace

TEST_F(RelinkViewModelTest, NewObjectIsIdleAndRunsNothingWithoutAnInput) {
    EXPECT_EQ(model->inputURL(), std::nullopt);
    EXPECT_EQ(model->outputURL(), std::nullopt);
    EXPECT_EQ(model->phase(), Phase::idle);
    EXPECT_TRUE(model->changes().empty());
    Recorder recorder(*model);
    model->runDryRun();
    model->runApply();
    settle();
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_FALSE(model->isRunning());
}

TEST_F(RelinkViewModelTest, SuccessfulRunPublishesInOrderAfterTheStart) {
    writeFile(dir / "Day1.fcpxml", kTwoProxies);
    model->setInput(dir / "Day1.fcpxml");
    Recorder recorder(*model);

    model->runDryRun();
    EXPECT_EQ(recorder.events, kRunStart);
    EXPECT_EQ(model->phase(), Phase::idle) << "the previous phase stays while running";

    expectSuccess(*model, Phase::dryRunComplete);
    EXPECT_EQ(recorder.events, followedBy(kRunStart, {"isRunning=false", "changes=2",
                                                      "srcsUpdated=2", "orphansRemoved=1",
                                                      "formatsUpdated=1", "phase=dryRunComplete"}));
    EXPECT_EQ(snapshot(dir.path()).size(), 1u) << "a preview writes nothing";
}

TEST_F(RelinkViewModelTest, RefusedOutputIsPublishedOnlyAfterTheCurrentWork) {
    writeFile(dir / "Day1.fcpxml", kTwoProxies);
    writeFile(dir / "Day1_braw.fcpxml", "already here");
    model->setInput(dir / "Day1.fcpxml");
    Recorder recorder(*model);

    model->runApply();
    // Whenever the job finds the output taken, nothing of it may show until the event loop runs.
    EXPECT_EQ(recorder.events, kRunStart);
    EXPECT_TRUE(model->isRunning());
    EXPECT_EQ(model->phase(), Phase::idle);

    const std::string message = expectFailure(*model);
    EXPECT_EQ(message.rfind("Failed to copy file: ", 0), 0u) << message;
    EXPECT_EQ(recorder.events,
              followedBy(kRunStart, {"isRunning=false", "errorMessage=" + message, "phase=error"}));
    EXPECT_EQ(readFile(dir / "Day1_braw.fcpxml"), "already here");
}
