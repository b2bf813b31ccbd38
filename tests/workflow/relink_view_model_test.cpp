#include "support/scripted_chooser.h"
#include "support/temp_dir.h"
#include "workflow/relink_view_model.h"

#include <QCoreApplication>
#include <QMetaEnum>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <functional>
#include <thread>

using namespace tessaly;
using namespace tessaly::testing;
using Phase = RelinkViewModel::AppPhase;
namespace fs = std::filesystem;

// The run owns what happens to the files (its own tests and the command line's pin every file
// case); these tests pin what the view model adds: its state and the order of its
// notifications, the choosers, and the threads a run crosses.

namespace {

/// Two proxies (A002.mov, A003.MOV) beside one .braw asset: two changes, one orphan format.
const std::string kTwoProxies = R"(<fcpxml version="1.10"><resources>
<format id="r1"/><format id="r2"/>
<asset id="r3" format="r2"><media-rep src="file:///Media/A001.braw"/></asset>
<asset id="r4" format="r1"><media-rep src="file:///Media/A002.mov"/></asset>
<asset id="r5" format="r1"><media-rep src="file:///Media/A003.MOV"/></asset>
</resources></fcpxml>
)";

/// `assignments`, each preceded by the "will" that must announce it.
std::vector<std::string> announced(const std::vector<std::string> &assignments) {
    std::vector<std::string> result;
    for (const auto &assignment : assignments) {
        result.emplace_back("will");
        result.push_back(assignment);
    }
    return result;
}

/// What every run assigns when it starts, before its job has done anything.
const std::vector<std::string> kRunStart =
    announced({"isRunning=true", "errorMessage=none", "changes=0", "savedURL=none", "logURL=none",
               "logError=none"});

/// The start of a run followed by the assignments of its outcome.
std::vector<std::string> runStartThen(const std::vector<std::string> &assignments) {
    std::vector<std::string> events = kRunStart;
    const std::vector<std::string> outcome = announced(assignments);
    events.insert(events.end(), outcome.begin(), outcome.end());
    return events;
}

/// Every notification of a view model, in order: "will" for objectWillChange(), otherwise
/// "<property>=<value>"; it also checks that each property already holds the value it reports.
class Recorder {
public:
    explicit Recorder(RelinkViewModel &model) {
        using VM = RelinkViewModel;
        QObject::connect(&model, &VM::objectWillChange, &m_context,
                         [this] { events.emplace_back("will"); });
        watch(model, "inputURL", &VM::inputURLChanged, &VM::inputURL);
        watch(model, "outputURL", &VM::outputURLChanged, &VM::outputURL);
        watch(model, "outputExists", &VM::outputExistsChanged, &VM::outputExists);
        watch(model, "isRunning", &VM::isRunningChanged, &VM::isRunning);
        watch(model, "phase", &VM::phaseChanged, &VM::phase);
        watch(model, "srcsUpdated", &VM::srcsUpdatedChanged, &VM::srcsUpdated);
        watch(model, "formatsUpdated", &VM::formatsUpdatedChanged, &VM::formatsUpdated);
        watch(model, "orphansRemoved", &VM::orphansRemovedChanged, &VM::orphansRemoved);
        watch(model, "changes", &VM::changesChanged, &VM::changes);
        watch(model, "errorMessage", &VM::errorMessageChanged, &VM::errorMessage);
        watch(model, "savedURL", &VM::savedURLChanged, &VM::savedURL);
        watch(model, "logURL", &VM::logURLChanged, &VM::logURL);
        watch(model, "logError", &VM::logErrorChanged, &VM::logError);
        watch(model, "searchFolders", &VM::searchFoldersChanged, &VM::searchFolders);
        watch(model, "recentFolders", &VM::recentFoldersChanged, &VM::recentFolders);
        watch(model, "searchWarning", &VM::searchWarningChanged, &VM::searchWarning);
    }

    std::vector<std::string> events;

    static std::string shown(const std::vector<fs::path> &value) {
        std::string folders;
        for (const auto &folder : value)
            folders += (folders.empty() ? "" : ",") + folder.filename().string();
        return folders;
    }

private:
    template <typename Value, typename Getter>
    void watch(RelinkViewModel &model, const char *name, void (RelinkViewModel::*changed)(Value),
               Getter get) {
        QObject::connect(&model, changed, &m_context, [this, &model, name, get](Value value) {
            EXPECT_EQ((model.*get)(), value) << name;
            events.push_back(std::string(name) + "=" + shown(value));
        });
    }

    static std::string shown(const std::optional<fs::path> &value) {
        return value ? value->string() : "none";
    }
    static std::string shown(const std::optional<QString> &value) {
        return value ? value->toStdString() : "none";
    }
    static std::string shown(bool value) { return value ? "true" : "false"; }
    static std::string shown(qint64 value) { return std::to_string(value); }
    static std::string shown(Phase value) {
        return QMetaEnum::fromType<Phase>().valueToKey(int(value));
    }
    /// Only how many: the changes themselves are the run's.
    static std::string shown(const std::vector<RelinkChange> &value) {
        return std::to_string(value.size());
    }

    QObject m_context;
};

/// Runs the event loop until the run in flight has published its outcome (at most 60 s), lets
/// every background job end, and checks that the run published exactly once.
void finishRun(RelinkViewModel &model) {
    QSignalSpy running(&model, &RelinkViewModel::isRunningChanged);
    QSignalSpy phase(&model, &RelinkViewModel::phaseChanged);
    ASSERT_TRUE(model.isRunning());
    ASSERT_TRUE(phase.wait(60000)) << "the run published no outcome";
    // The pool's threads stay, as in the application, so later runs reuse them.
    EXPECT_TRUE(QTest::qWaitFor(
        [] { return QThreadPool::globalInstance()->activeThreadCount() == 0; }, 60000));
    QCoreApplication::processEvents();
    EXPECT_EQ(running.count(), 1);
    EXPECT_EQ(phase.count(), 1);
    EXPECT_FALSE(model.isRunning());
}

/// A view model with a scripted chooser, and a folder for its files.
class RelinkViewModelTest : public ::testing::Test {
protected:
    TempDir dir;
    std::shared_ptr<ScriptedChooser> chooser = std::make_shared<ScriptedChooser>();
    std::shared_ptr<RelinkViewModel> model = RelinkViewModel::create(chooser);

    void SetUp() override { QSettings().clear(); }
};

} // namespace

// The run writes the output and its log and words every failure; the view model publishes
// the outcome once the event loop runs, and offers a log only for the apply on screen, before
// the phase, so that the success banner finds it when it appears.
TEST_F(RelinkViewModelTest, RunsPublishTheirOutcomeInOrderAfterTheStart) {
    writeFile(dir / "Day1.fcpxml", kTwoProxies);
    const fs::path output = dir / "Day1_braw.fcpxml";
    model->setInput(dir / "Day1.fcpxml");
    Recorder recorder(*model);

    model->runDryRun();
    EXPECT_EQ(recorder.events, kRunStart) << "the previous phase stays while running";
    finishRun(*model);
    EXPECT_EQ(recorder.events,
              runStartThen({"isRunning=false", "recentFolders=", "changes=2", "srcsUpdated=2",
                            "orphansRemoved=1", "formatsUpdated=1", "searchWarning=none",
                            "outputExists=false", "phase=dryRunComplete"}));
    EXPECT_FALSE(fs::exists(output));

    recorder.events.clear();
    model->runApply();
    finishRun(*model);
    EXPECT_EQ(recorder.events,
              runStartThen({"isRunning=false", "recentFolders=", "changes=2", "srcsUpdated=2",
                            "orphansRemoved=1", "formatsUpdated=1", "searchWarning=none",
                            "savedURL=" + output.string(),
                            "logURL=" + (dir / "Day1_braw.relink.log").string(), "logError=none",
                            "phase=done"}));

    // Another output chosen after the apply changes what the next run writes, not where this
    // one wrote: the banner still names the document that exists.
    chooser->outputAnswer = dir / "Elsewhere.fcpxml";
    model->selectOutput();
    EXPECT_EQ(model->outputURL(), dir / "Elsewhere.fcpxml");
    EXPECT_EQ(model->savedURL(), output);
    chooser->outputAnswer = output;
    model->selectOutput();

    // The output appeared after the preview: the apply asks once, and a refusal keeps it.
    const std::string written = readFile(output);
    recorder.events.clear();
    model->runApply();
    // Whenever the job finds the output taken, nothing of it may show until the event loop runs.
    EXPECT_EQ(recorder.events, kRunStart);
    finishRun(*model);
    const std::string message = model->errorMessage().value_or(QString()).toStdString();
    EXPECT_NE(message.find("File exists"), std::string::npos) << message;
    EXPECT_EQ(recorder.events,
              runStartThen({"isRunning=false", "recentFolders=", "outputExists=true",
                            "errorMessage=" + message, "phase=error"}));
    EXPECT_EQ(chooser->replaceQuestions, std::vector{output});
    EXPECT_EQ(readFile(output), written);

    // The output was removed but its log kept: the next apply succeeds and says why it wrote
    // no log.
    fs::remove(output);
    model->runDryRun();
    finishRun(*model);
    model->runApply();
    finishRun(*model);
    EXPECT_EQ(model->logURL(), std::nullopt);
    EXPECT_TRUE(model->logError().value_or(QString()).contains("File exists"));
    EXPECT_EQ(chooser->replaceQuestions.size(), 1u);
}

// An earlier output, a document or a bundle, is named by the preview, and an apply replaces it
// only once the user agrees, asked once: before the apply when the preview found it, or when
// the apply finds it.
TEST_F(RelinkViewModelTest, AnEarlierOutputIsReplacedOnlyWhenTheUserAgrees) {
    const struct {
        const char *input;
        const char *output;
        bool foundByPreview;
        bool agree;
    } cases[] = {
        {"Day1.fcpxml", "Day1_braw.fcpxml", true, false},
        {"Day1.fcpxml", "Day1_braw.fcpxml", true, true},
        {"Day1.fcpxml", "Day1_braw.fcpxml", false, true},
        {"Day2.fcpxmld", "Day2_braw.fcpxmld", true, false},
        {"Day2.fcpxmld", "Day2_braw.fcpxmld", true, true},
        {"Day2.fcpxmld", "Day2_braw.fcpxmld", false, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.output) + (c.foundByPreview ? " before" : " after") +
                     " the preview, " + (c.agree ? "replaced" : "kept"));
        fs::remove_all(dir.path());
        const bool bundle = fs::path(c.input).extension() == ".fcpxmld";
        const fs::path input = dir / c.input;
        const fs::path output = dir / c.output;
        // The earlier output holds a marker where the relinked document would be.
        const fs::path document = bundle ? fs::path("Info.fcpxml") : fs::path();
        writeFile(bundle ? input / document : input, kTwoProxies);
        const auto placeOld = [&] { writeFile(bundle ? output / document : output, "old"); };
        model->setInput(input);
        chooser->replaceQuestions.clear();
        chooser->replaceAnswer = c.agree;
        if (c.foundByPreview)
            placeOld();
        model->runDryRun();
        finishRun(*model);
        EXPECT_EQ(model->outputExists(), c.foundByPreview);
        if (!c.foundByPreview)
            placeOld();

        // An apply that finds the output asks and, agreed, starts again: two runs in a row.
        model->runApply();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !model->isRunning(); }, 60000));
        EXPECT_EQ(chooser->replaceQuestions, std::vector{output});
        const std::string now = readFile(bundle ? output / document : output);
        EXPECT_EQ(now == "old", !c.agree);
        EXPECT_EQ(model->phase(), c.agree            ? Phase::done
                                  : c.foundByPreview ? Phase::dryRunComplete
                                                     : Phase::error);
    }
}

// A run resolves its locations when it starts: later choices belong to the next run. Until it
// has published, it keeps the view model alive, which then dies on the GUI thread.
TEST_F(RelinkViewModelTest, RunInFlightKeepsItsLocationsAndTheViewModel) {
    writeFile(dir / "Day1.fcpxml", kTwoProxies);
    model->setInput(dir / "Day1.fcpxml");
    chooser->outputAnswer = dir / "Custom.fcpxml";
    model->selectOutput();
    std::vector<Phase> seen;
    QThread *destroyedOn = nullptr;
    QObject context;
    QObject::connect(model.get(), &RelinkViewModel::phaseChanged, &context,
                     [&](Phase phase) { seen.push_back(phase); });
    QObject::connect(model.get(), &QObject::destroyed, &context,
                     [&] { destroyedOn = QThread::currentThread(); });

    model->runApply();
    model->setInput(dir / "Day2.fcpxml");
    chooser->outputAnswer = dir / "Other.fcpxml";
    model->selectOutput();
    model.reset(); // the window closes while the run is in flight
    ASSERT_TRUE(QTest::qWaitFor([&] { return destroyedOn != nullptr; }, 60000));
    // The outcome of the run is still published, on top of the new input, before it dies.
    EXPECT_EQ(seen, (std::vector{Phase::idle, Phase::done}));
    EXPECT_EQ(destroyedOn, QThread::currentThread());
    EXPECT_NE(readFile(dir / "Custom.fcpxml").find("A002.braw"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "Other.fcpxml"));
}

// A located folder is searched by the preview that follows at once and by every later run;
// each folder is listed once, a removed one is no longer searched, and the folders chosen
// lately are offered while they are still there.
TEST_F(RelinkViewModelTest, LocatedFoldersAreSearchedAtOnceAndRemembered) {
    writeFile(dir / "Day1.fcpxml", kTwoProxies); // proxies of A002 and A003 in /Media
    const fs::path raid = dir / "RAID", day2 = dir / "Day2";
    writeFile(raid / "Card" / "A002.braw", "");
    writeFile(raid / "A003.braw", "");
    writeFile(day2 / "A003.BRAW", "");
    model->setInput(dir / "Day1.fcpxml");
    const auto locate = [&](std::optional<fs::path> folder) {
        chooser->folderAnswer = folder;
        model->locateOriginals();
    };
    const struct {
        const char *step;
        std::function<void()> act;
        const char *searched;
        const char *places; // of A002 and A003
        const char *recent;
    } steps[] = {
        {"locate", [&] { locate(raid / ""); }, "RAID", "searchFolder searchFolder", "RAID"},
        {"locate again", [&] { locate(dir / "." / "RAID"); }, "RAID", "searchFolder searchFolder",
         "RAID"},
        {"add", [&] { model->addSearchFolder(day2); }, "RAID,Day2", "searchFolder ambiguous",
         "Day2,RAID"},
        {"remove", [&] { model->removeSearchFolder(raid); }, "Day2", "missing searchFolder",
         "Day2,RAID"},
        {"remove the last, its drive gone",
         [&] {
             fs::remove_all(day2);
             model->removeSearchFolder(day2);
         },
         "", "missing missing", "RAID"},
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(s.step);
        Recorder recorder(*model);
        s.act();
        ASSERT_GE(recorder.events.size(), 2u);
        EXPECT_EQ(recorder.events[1], std::string("searchFolders=") + s.searched);
        EXPECT_EQ(std::vector(recorder.events.begin() + 2, recorder.events.end()), kRunStart);
        finishRun(*model);
        std::string places;
        for (const RelinkChange &change : model->changes())
            places += (places.empty() ? "" : " ") + std::string(originalPlaceName(change.original));
        EXPECT_EQ(places, s.places);
        EXPECT_EQ(Recorder::shown(model->recentFolders()), s.recent);
    }
    EXPECT_EQ(chooser->folderTitles.size(), 2u);
    EXPECT_EQ(chooser->folderTitles.front(), QStringLiteral("Locate Originals"));

    // A cancelled choice changes nothing and runs nothing; the last five chosen are kept.
    Recorder recorder(*model);
    locate(std::nullopt);
    EXPECT_TRUE(recorder.events.empty());
    for (const char *name : {"D1", "D2", "D3", "D4", "D5", "D6"}) {
        fs::create_directories(dir / name);
        model->addSearchFolder(dir / name);
        finishRun(*model);
    }
    EXPECT_EQ(Recorder::shown(model->recentFolders()), "D6,D5,D4,D3,D2");
}

// Without an input nothing runs and no output is asked for. A choice counts only when
// confirmed; neither its extension nor its existence is examined.
TEST_F(RelinkViewModelTest, ChoicesWaitForAnInputAndCountOnlyWhenConfirmed) {
    Recorder recorder(*model);
    model->runDryRun();
    model->runApply();
    chooser->outputAnswer = "/Elsewhere/Final.fcpxml";
    model->selectOutput();
    model->selectInput();
    EXPECT_EQ(chooser->inputTitles, std::vector{QStringLiteral("Choose FCPXML or FCPXMLD")});
    EXPECT_TRUE(chooser->outputRequests.empty());
    EXPECT_TRUE(recorder.events.empty());

    chooser->inputAnswer = fs::path("/Edits/Cut.final.FCPXML");
    const auto chosen =
        announced({"inputURL=/Edits/Cut.final.FCPXML", "outputURL=/Edits/Cut.final_braw.FCPXML",
                   "outputExists=false", "phase=idle", "errorMessage=none", "changes=0",
                   "savedURL=none", "logURL=none", "logError=none"});
    model->selectInput();
    EXPECT_EQ(recorder.events, chosen);

    // The output chooser proposes the name of the current output; cancelling notifies nobody.
    recorder.events.clear();
    model->selectOutput();
    chooser->outputAnswer = std::nullopt;
    model->selectOutput();
    const std::vector<std::pair<QString, QString>> requests{
        {QStringLiteral("Save Relinked File As"), QStringLiteral("Cut.final_braw.FCPXML")},
        {QStringLiteral("Save Relinked File As"), QStringLiteral("Final.fcpxml")}};
    EXPECT_EQ(chooser->outputRequests, requests);
    EXPECT_EQ(recorder.events,
              announced({"outputURL=/Elsewhere/Final.fcpxml", "outputExists=false"}));

    // Choosing the same input again announces every assignment again, and brings its default
    // output back in place of the one chosen; a cancelled choice keeps the input.
    recorder.events.clear();
    model->selectInput();
    chooser->inputAnswer = std::nullopt;
    model->selectInput();
    EXPECT_EQ(recorder.events, chosen);
}

// The view model may have no chooser: choosing then does nothing. Whichever thread drops its
// last reference, it dies on the GUI thread, where its observers live.
TEST(RelinkViewModelWithoutChooser, ChoosesNothingAndDiesOnTheGuiThread) {
    auto model = RelinkViewModel::create(nullptr);
    model->setInput("/Edits/Day1.fcpxml");
    Recorder recorder(*model);
    model->selectInput();
    model->selectOutput();
    EXPECT_TRUE(recorder.events.empty());

    // Without a context object the slot runs on the thread that emits: the one that tears down.
    QThread *destroyedOn = nullptr;
    QObject::connect(model.get(), &QObject::destroyed,
                     [&] { destroyedOn = QThread::currentThread(); });
    std::thread([last = std::move(model)]() mutable { last.reset(); }).join();
    EXPECT_EQ(destroyedOn, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return destroyedOn != nullptr; }, 60000));
    EXPECT_EQ(destroyedOn, QThread::currentThread());
}
