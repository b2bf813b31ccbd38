#include "workflow_support.h"

#include <QTest>
#include <QThread>

#include <thread>

using namespace tessaly;
using namespace tessaly::testing;
using Phase = RelinkViewModel::AppPhase;

namespace {

bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

} // namespace

// The save dialog asks before the user picks an existing bundle; nothing asks about a
// document, so an earlier one is never replaced.
TEST_F(RelinkViewModelTest, ApplyReplacesAnEarlierBundleButNeverAnEarlierDocument) {
    writeFile(dir / "Day1.fcpxml", kTwoProxies);
    writeFile(dir / "Day1_braw.fcpxml", "an earlier output");
    model->setInput(dir / "Day1.fcpxml");
    model->runApply();
    EXPECT_TRUE(contains(expectFailure(*model), "File exists"));
    EXPECT_EQ(readFile(dir / "Day1_braw.fcpxml"), "an earlier output");

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
    Recorder recorder(*model);

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
    EXPECT_EQ(recorder.events.back(), "phase=done");
    EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(), "isRunning=false"), 1);
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
