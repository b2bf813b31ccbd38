#include "workflow_support.h"

#include <QTest>
#include <QThread>

#include <thread>

using namespace tessaly;
using namespace tessaly::testing;
using Phase = RelinkViewModel::AppPhase;

// The run owns what happens to the files (its own tests and the command line's pin every file
// case); these tests pin what the view model adds: its state and the order of its
// notifications, the choosers, and the threads a run crosses.

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

bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST_F(RelinkViewModelTest, RunsNothingWithoutAnInput) {
    Recorder recorder(*model);
    model->runDryRun();
    model->runApply();
    settle();
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_FALSE(model->isRunning());
    EXPECT_EQ(model->phase(), Phase::idle);
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

// An existing document is never replaced: nothing asks the user about one.
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

    finishRun(*model);
    EXPECT_EQ(model->phase(), Phase::error);
    const std::string message = model->errorMessage().value_or(QString()).toStdString();
    EXPECT_TRUE(contains(message, "File exists")) << message;
    EXPECT_EQ(recorder.events,
              followedBy(kRunStart, {"isRunning=false", "errorMessage=" + message, "phase=error"}));
    EXPECT_EQ(readFile(dir / "Day1_braw.fcpxml"), "already here");
}

// The save dialog asks before the user picks an existing bundle, so an earlier one is replaced.
TEST_F(RelinkViewModelTest, ApplyReplacesAnEarlierBundle) {
    writeFile(dir / "Day1.fcpxmld" / "Info.fcpxml", kTwoProxies);
    writeFile(dir / "Day1_braw.fcpxmld" / "stale.txt", "from an earlier apply");
    model->setInput(dir / "Day1.fcpxmld");
    model->runApply();
    expectSuccess(*model, Phase::done);
    EXPECT_FALSE(fs::exists(dir / "Day1_braw.fcpxmld" / "stale.txt"));
    EXPECT_TRUE(contains(readFile(dir / "Day1_braw.fcpxmld" / "Info.fcpxml"), "A003.braw"));
}

TEST_F(RelinkViewModelTest, RunKeepsItsLocationsWhenTheInputChangesMeanwhile) {
    writeFile(dir / "Day1.fcpxml", kTwoProxies);
    writeFile(dir / "Day2.fcpxml", kTwoProxies);
    model->setInput(dir / "Day1.fcpxml");
    chooseOutput(dir / "Custom.fcpxml");

    model->runApply();
    model->setInput(dir / "Day2.fcpxml");
    chooseOutput(dir / "Other.fcpxml");
    EXPECT_TRUE(model->isRunning());
    expectSuccess(*model, Phase::done);

    // The outcome of the first run is still published, on top of the new input.
    EXPECT_EQ(model->srcsUpdated(), 2);
    EXPECT_EQ(model->inputURL(), dir / "Day2.fcpxml");
    EXPECT_EQ(model->outputURL(), dir / "Other.fcpxml");
    EXPECT_TRUE(contains(readFile(dir / "Custom.fcpxml"), "A002.braw"));
    EXPECT_FALSE(fs::exists(dir / "Other.fcpxml"));
    EXPECT_FALSE(fs::exists(dir / "Day2_braw.fcpxml"));
}

TEST_F(RelinkViewModelTest, RunInFlightKeepsTheViewModelAliveAndItDiesOnTheGuiThread) {
    writeFile(dir / "Day1.fcpxml", kTwoProxies);
    model->setInput(dir / "Day1.fcpxml");
    std::vector<std::string> seen;
    QThread *destroyedOn = nullptr;
    QObject context;
    QObject::connect(model.get(), &RelinkViewModel::phaseChanged, &context,
                     [&](Phase phase) { seen.push_back(Recorder::phaseName(phase)); });
    QObject::connect(model.get(), &QObject::destroyed, &context, [&] {
        seen.emplace_back("destroyed");
        destroyedOn = QThread::currentThread();
    });

    model->runApply();
    model.reset(); // the window closes while the run is in flight
    EXPECT_TRUE(seen.empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return destroyedOn != nullptr; }, 60000));
    EXPECT_EQ(seen, (std::vector<std::string>{"done", "destroyed"}));
    EXPECT_EQ(destroyedOn, QThread::currentThread());
    EXPECT_TRUE(contains(readFile(dir / "Day1_braw.fcpxml"), "A002.braw"));
}

TEST(RelinkViewModelRelease, LastReleaseDestroysOnTheGuiThreadWhereverItHappens) {
    // Without a context object the slot runs on the thread that emits: the one that tears down.
    QThread *destroyedOn = nullptr;
    const auto watch = [&](const std::shared_ptr<RelinkViewModel> &model) {
        destroyedOn = nullptr;
        QObject::connect(model.get(), &QObject::destroyed,
                         [&] { destroyedOn = QThread::currentThread(); });
    };

    auto model = RelinkViewModel::create(nullptr);
    watch(model);
    model.reset();
    EXPECT_EQ(destroyedOn, QThread::currentThread()) << "released on the GUI thread: at once";

    model = RelinkViewModel::create(nullptr);
    watch(model);
    std::thread([last = std::move(model)]() mutable { last.reset(); }).join();
    EXPECT_EQ(destroyedOn, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return destroyedOn != nullptr; }, 60000));
    EXPECT_EQ(destroyedOn, QThread::currentThread());
}

TEST_F(RelinkViewModelTest, ChangeLogOfTheApplyOnScreenIsOfferedUntilTheNextRunOrInput) {
    writeFile(dir / "Day1.fcpxml", kTwoProxies);
    const fs::path log = dir / "Day1_braw.relink.log";
    model->setInput(dir / "Day1.fcpxml");
    Recorder recorder(*model);

    model->runApply();
    expectSuccess(*model, Phase::done);
    EXPECT_EQ(model->logURL(), log);
    EXPECT_EQ(model->logError(), std::nullopt);
    // The banner finds the log before it appears.
    const std::vector<std::string> last(recorder.events.end() - 6, recorder.events.end());
    EXPECT_EQ(last, Recorder::announced({"logURL=" + log.string(), "logError=none", "phase=done"}));

    model->runDryRun();
    EXPECT_EQ(model->logURL(), std::nullopt) << "cleared when a run starts";
    expectSuccess(*model, Phase::dryRunComplete);
    EXPECT_EQ(model->logURL(), std::nullopt);

    // The output was removed but its log kept: the next apply succeeds and says why it wrote
    // no log.
    fs::remove(dir / "Day1_braw.fcpxml");
    model->runApply();
    expectSuccess(*model, Phase::done);
    EXPECT_EQ(model->logURL(), std::nullopt);
    EXPECT_EQ(model->logError(),
              QString::fromStdString("The change log could not be written to \u201C" +
                                     log.string() + "\u201D: File exists."));

    model->setInput(dir / "Day1.fcpxml");
    EXPECT_EQ(model->logError(), std::nullopt);
}

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
