#include "workflow_support.h"

#include <QMetaProperty>

using namespace tessaly;
using namespace tessaly::testing;
using Phase = RelinkViewModel::AppPhase;

TEST(RelinkViewModelState, NewObjectStartsIdleAndEmpty) {
    const auto model = RelinkViewModel::create(nullptr);
    EXPECT_EQ(model->inputURL(), std::nullopt);
    EXPECT_EQ(model->outputURL(), std::nullopt);
    EXPECT_FALSE(model->isRunning());
    EXPECT_EQ(model->phase(), Phase::idle);
    EXPECT_EQ(model->srcsUpdated(), 0);
    EXPECT_EQ(model->formatsUpdated(), 0);
    EXPECT_EQ(model->orphansRemoved(), 0);
    EXPECT_TRUE(model->changes().empty());
    EXPECT_EQ(model->errorMessage(), std::nullopt);
    EXPECT_EQ(model->logURL(), std::nullopt);
    EXPECT_EQ(model->logError(), std::nullopt);

    // The views find the properties and their signals through the meta-object, in this order.
    const QMetaObject *meta = model->metaObject();
    std::vector<std::string> names;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        names.emplace_back(property.name());
        EXPECT_EQ(property.notifySignal().name().toStdString(), names.back() + "Changed");
    }
    EXPECT_EQ(names, (std::vector<std::string>{"inputURL", "outputURL", "isRunning", "phase",
                                               "srcsUpdated", "formatsUpdated", "orphansRemoved",
                                               "changes", "errorMessage", "logURL", "logError"}));
    const QMetaEnum phases = QMetaEnum::fromType<Phase>();
    ASSERT_EQ(phases.keyCount(), 4);
    EXPECT_STREQ(phases.key(0), "idle");
    EXPECT_STREQ(phases.key(1), "dryRunComplete");
    EXPECT_STREQ(phases.key(2), "done");
    EXPECT_STREQ(phases.key(3), "error");
}

TEST(RelinkViewModelState, RunWithoutInputNotifiesNobody) {
    const auto model = RelinkViewModel::create(nullptr);
    Recorder recorder(*model);
    model->runDryRun();
    model->runApply();
    model->selectOutput();
    model->selectInput();
    settle();
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_FALSE(model->isRunning());
}

TEST(RelinkViewModelState, SetInputAssignsInOrderAndNotifiesEqualValues) {
    TempDir dir;
    const auto model = RelinkViewModel::create(nullptr);
    Recorder recorder(*model);
    const fs::path input = dir / "Day1.fcpxml";
    const auto expected = Recorder::announced(
        {"inputURL=" + input.string(), "outputURL=" + (dir / "Day1_braw.fcpxml").string(),
         "phase=idle", "errorMessage=none", "changes=0", "logURL=none", "logError=none"});
    model->setInput(input);
    EXPECT_EQ(recorder.events, expected);

    // The same input again changes no value, yet every assignment is announced.
    recorder.events.clear();
    model->setInput(input);
    EXPECT_EQ(recorder.events, expected);
}

TEST(RelinkViewModelState, SuccessfulRunPublishesInOrderAfterTheStart) {
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kTwoProxies);
    const auto model = RelinkViewModel::create(nullptr);
    model->setInput(dir / "Day1.fcpxml");
    Recorder recorder(*model);

    model->runDryRun();
    const auto started = Recorder::announced(
        {"isRunning=true", "errorMessage=none", "changes=0", "logURL=none", "logError=none"});
    EXPECT_EQ(recorder.events, started);
    EXPECT_EQ(model->phase(), Phase::idle) << "the previous phase stays while running";

    expectSuccess(*model, Phase::dryRunComplete);
    auto expected = started;
    for (const auto &event :
         Recorder::announced({"isRunning=false", "changes=2", "srcsUpdated=2", "orphansRemoved=1",
                              "formatsUpdated=1", "phase=dryRunComplete"}))
        expected.push_back(event);
    EXPECT_EQ(recorder.events, expected);
    ASSERT_EQ(model->changes().size(), 2u);
    EXPECT_EQ(model->changes()[0].stem, "A002");
    EXPECT_EQ(model->changes()[1].newSrc, "/Media/A003.braw");
}

TEST(RelinkViewModelState, RefusedOutputIsPublishedOnlyAfterTheCurrentWork) {
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kTwoProxies);
    writeFile(dir / "Day1_braw.fcpxml", "already here");
    const auto model = RelinkViewModel::create(nullptr);
    model->setInput(dir / "Day1.fcpxml");
    Recorder recorder(*model);

    model->runApply();
    // Whenever the job finds the output taken, nothing of it may show until the event loop runs.
    const auto started = Recorder::announced(
        {"isRunning=true", "errorMessage=none", "changes=0", "logURL=none", "logError=none"});
    EXPECT_EQ(recorder.events, started);
    EXPECT_TRUE(model->isRunning());
    EXPECT_EQ(model->errorMessage(), std::nullopt);
    EXPECT_EQ(model->phase(), Phase::idle);

    const std::string message = expectFailure(*model);
    EXPECT_EQ(message.rfind("Failed to copy file: ", 0), 0u) << message;
    auto expected = started;
    for (const auto &event :
         Recorder::announced({"isRunning=false", "errorMessage=" + message, "phase=error"}))
        expected.push_back(event);
    EXPECT_EQ(recorder.events, expected);
    EXPECT_EQ(readFile(dir / "Day1_braw.fcpxml"), "already here");
}

TEST(RelinkViewModelState, PhasesFollowRunsAndCountsSurviveFailuresAndNewInputs) {
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kTwoProxies);
    writeFile(dir / "Day2.fcpxml", kNoProxy);
    auto chooser = std::make_shared<ScriptedChooser>();
    const auto model = RelinkViewModel::create(chooser);
    model->setInput(dir / "Day1.fcpxml");

    model->runDryRun();
    expectSuccess(*model, Phase::dryRunComplete);
    model->runApply();
    expectSuccess(*model, Phase::done);
    EXPECT_EQ(model->changes().size(), 2u);

    // Changing the output keeps the phase and what the last run found.
    chooser->outputAnswer = dir / "Elsewhere.fcpxml";
    model->selectOutput();
    EXPECT_EQ(model->phase(), Phase::done);
    EXPECT_EQ(model->changes().size(), 2u);

    model->setInput(dir / "Day2.fcpxml");
    EXPECT_EQ(model->phase(), Phase::idle);
    EXPECT_TRUE(model->changes().empty());
    model->runDryRun();
    EXPECT_EQ(expectFailure(*model), "No .mov proxy assets found. Nothing to relink.");
    EXPECT_EQ(model->srcsUpdated(), 2);
    EXPECT_EQ(model->orphansRemoved(), 1);
    EXPECT_EQ(model->formatsUpdated(), 1);

    model->setInput(dir / "Day1.fcpxml");
    EXPECT_EQ(model->phase(), Phase::idle);
    EXPECT_EQ(model->errorMessage(), std::nullopt);
    EXPECT_EQ(model->srcsUpdated(), 2);
    EXPECT_EQ(model->orphansRemoved(), 1);
    EXPECT_EQ(model->logURL(), std::nullopt);
}
