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

/// The first top-level .fcpxml entry of `bundle` in the order the file system lists them.
fs::path firstListedDocument(const fs::path &bundle) {
    for (const auto &entry : fs::directory_iterator(bundle)) {
        if (entry.path().extension() == ".fcpxml")
            return entry.path();
    }
    return {};
}

} // namespace

class RelinkViewModelRun : public ::testing::Test {
protected:
    TempDir dir;
    std::shared_ptr<ScriptedChooser> chooser = std::make_shared<ScriptedChooser>();
    std::shared_ptr<RelinkViewModel> model = RelinkViewModel::create(chooser);

    void chooseOutput(const fs::path &location) {
        chooser->outputAnswer = location;
        model->selectOutput();
    }
};

TEST_F(RelinkViewModelRun, FileIsPreviewedInPlaceAndAppliedToACopyOnlyOnce) {
    writeFile(dir / "Day1.fcpxml", kTwoProxies);
    model->setInput(dir / "Day1.fcpxml");
    model->runDryRun();
    expectSuccess(*model, Phase::dryRunComplete);
    EXPECT_EQ(model->srcsUpdated(), 2);
    EXPECT_EQ(snapshot(dir.path()).size(), 1u) << "a preview writes nothing";

    model->runApply();
    expectSuccess(*model, Phase::done);
    EXPECT_EQ(readFile(dir / "Day1.fcpxml"), kTwoProxies);
    const std::string written = readFile(dir / "Day1_braw.fcpxml");
    EXPECT_TRUE(contains(written, "file:///Media/A002.braw"));

    // A second apply to the same output must not overwrite the first.
    model->runApply();
    const std::string again = expectFailure(*model);
    EXPECT_EQ(again.rfind("Failed to copy file: ", 0), 0u) << again;
    EXPECT_TRUE(contains(again, "File exists")) << again;
    EXPECT_EQ(readFile(dir / "Day1_braw.fcpxml"), written);
    EXPECT_EQ(model->srcsUpdated(), 2);

    chooseOutput(dir / "Day1.fcpxml");
    model->runApply();
    EXPECT_EQ(expectFailure(*model).rfind("Failed to copy file: ", 0), 0u);
    EXPECT_EQ(readFile(dir / "Day1.fcpxml"), kTwoProxies);
}

TEST_F(RelinkViewModelRun, EngineFailureLeavesNothingBehind) {
    writeFile(dir / "Empty.fcpxml", kNoProxy);
    model->setInput(dir / "Empty.fcpxml");
    model->runApply();
    EXPECT_EQ(expectFailure(*model), "No .mov proxy assets found. Nothing to relink.");
    EXPECT_EQ(snapshot(dir.path()).size(), 1u);

    writeFile(dir / "Broken.fcpxml", "<fcpxml>\n  <resources>\n</fcpxml>");
    model->setInput(dir / "Broken.fcpxml");
    model->runDryRun();
    const std::string broken = expectFailure(*model);
    EXPECT_EQ(broken.rfind("\u201CBroken.fcpxml\u201D is not well-formed XML: ", 0), 0u) << broken;
}

TEST_F(RelinkViewModelRun, BundleNamedInCapitalsIsSearchedCopiedAndReplaced) {
    const fs::path bundle = dir / "Project.FCPXMLD";
    writeFile(bundle / "Info.FCPXML", kTwoProxies);
    writeFile(bundle / "Media" / "Nested.fcpxml", kNoProxy);
    model->setInput(bundle);
    EXPECT_EQ(model->outputURL(), dir / "Project_braw.FCPXMLD");

    model->runDryRun();
    expectSuccess(*model, Phase::dryRunComplete);
    EXPECT_EQ(model->srcsUpdated(), 2);
    EXPECT_FALSE(fs::exists(dir / "Project_braw.FCPXMLD"));

    model->runApply();
    expectSuccess(*model, Phase::done);
    const fs::path output = dir / "Project_braw.FCPXMLD";
    EXPECT_TRUE(contains(readFile(output / "Info.FCPXML"), "A003.braw"));
    EXPECT_EQ(readFile(output / "Media" / "Nested.fcpxml"), kNoProxy);

    writeFile(output / "stale.txt", "from an earlier apply");
    model->runApply();
    expectSuccess(*model, Phase::done);
    EXPECT_FALSE(fs::exists(output / "stale.txt"));
    EXPECT_TRUE(contains(readFile(output / "Info.FCPXML"), "A003.braw"));
    EXPECT_EQ(readFile(bundle / "Info.FCPXML"), kTwoProxies);
}

TEST_F(RelinkViewModelRun, BundleWithTwoDocumentsRewritesOnlyTheFirstListed) {
    const fs::path bundle = dir / "Two.fcpxmld";
    writeFile(bundle / "One.fcpxml", kOneProxy);
    writeFile(bundle / "Other.fcpxml", kTwoProxies);
    const std::string first = firstListedDocument(bundle).filename().string();
    const std::string second = first == "One.fcpxml" ? "Other.fcpxml" : "One.fcpxml";
    const std::string untouched = readFile(bundle / second);

    model->setInput(bundle);
    model->runApply();
    expectSuccess(*model, Phase::done);
    EXPECT_EQ(model->srcsUpdated(), first == "One.fcpxml" ? 1 : 2);
    EXPECT_NE(readFile(dir / "Two_braw.fcpxmld" / first), readFile(bundle / first));
    EXPECT_EQ(readFile(dir / "Two_braw.fcpxmld" / second), untouched);
}

TEST_F(RelinkViewModelRun, BundleWithoutTopLevelDocumentFails) {
    writeFile(dir / "Deep.fcpxmld" / "Sub" / "Info.fcpxml", kTwoProxies);
    model->setInput(dir / "Deep.fcpxmld");
    model->runApply();
    EXPECT_EQ(expectFailure(*model), "No .fcpxml found inside bundle.");
    EXPECT_FALSE(fs::exists(dir / "Deep_braw.fcpxmld"));

    // A plain file with the bundle's extension cannot be listed.
    writeFile(dir / "Plain.fcpxmld", kTwoProxies);
    model->setInput(dir / "Plain.fcpxmld");
    model->runDryRun();
    EXPECT_EQ(expectFailure(*model), "No .fcpxml found inside bundle.");
    model->runApply();
    EXPECT_EQ(expectFailure(*model), "No .fcpxml found inside bundle.");
    EXPECT_EQ(readFile(dir / "Plain.fcpxmld"), kTwoProxies);
}

TEST_F(RelinkViewModelRun, RunKeepsItsLocationsWhenTheInputChangesMeanwhile) {
    writeFile(dir / "Day1.fcpxml", kTwoProxies);
    writeFile(dir / "Day2.fcpxml", kOneProxy);
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

TEST_F(RelinkViewModelRun, RunInFlightKeepsTheViewModelAliveAndItDiesOnTheGuiThread) {
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

TEST_F(RelinkViewModelRun, LastReleaseOnAnotherThreadIsForwardedToTheGuiThread) {
    QThread *destroyedOn = nullptr;
    QObject context;
    QObject::connect(model.get(), &QObject::destroyed, &context,
                     [&] { destroyedOn = QThread::currentThread(); });
    std::thread([last = std::move(model)]() mutable { last.reset(); }).join();
    EXPECT_EQ(destroyedOn, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return destroyedOn != nullptr; }, 60000));
    EXPECT_EQ(destroyedOn, QThread::currentThread());
}

TEST_F(RelinkViewModelRun, ChangeLogOfTheApplyOnScreenIsOfferedUntilTheNextRunOrInput) {
    // One original on disk, one not.
    std::string document = kTwoProxies;
    const std::string media = "file:///Media/";
    for (auto at = document.find(media); at != std::string::npos; at = document.find(media, at))
        document.replace(at, media.size(), "file://" + (dir / "Media").string() + "/");
    writeFile(dir / "Media" / "A002.braw", "");
    writeFile(dir / "Day1.fcpxml", document);
    const fs::path log = dir / "Day1_braw.relink.log";
    model->setInput(dir / "Day1.fcpxml");
    Recorder recorder(*model);

    model->runApply();
    expectSuccess(*model, Phase::done);
    EXPECT_EQ(model->logURL(), log);
    EXPECT_EQ(model->logError(), std::nullopt);
    EXPECT_TRUE(contains(readFile(log), "\tr5\tr7\tmissing\n"));
    ASSERT_EQ(model->changes().size(), 2u);
    EXPECT_TRUE(model->changes()[0].brawFound);
    EXPECT_FALSE(model->changes()[1].brawFound);
    // The banner finds the log before it appears.
    const std::vector<std::string> last(recorder.events.end() - 6, recorder.events.end());
    EXPECT_EQ(last, Recorder::announced({"logURL=" + log.string(), "logError=none", "phase=done"}));

    model->runDryRun();
    EXPECT_EQ(model->logURL(), std::nullopt) << "cleared when a run starts";
    expectSuccess(*model, Phase::dryRunComplete);
    EXPECT_EQ(model->logURL(), std::nullopt);

    // The output was removed but its log kept: the next apply succeeds and says why it wrote
    // no log, leaving the earlier one alone.
    fs::remove(dir / "Day1_braw.fcpxml");
    const std::string earlier = readFile(log);
    model->runApply();
    expectSuccess(*model, Phase::done);
    EXPECT_EQ(model->logURL(), std::nullopt);
    EXPECT_EQ(model->logError(),
              QString::fromStdString("The change log could not be written to \u201C" +
                                     log.string() + "\u201D: File exists."));
    EXPECT_EQ(readFile(log), earlier);

    model->setInput(dir / "Day1.fcpxml");
    EXPECT_EQ(model->logError(), std::nullopt);
}
