#pragma once

#include "support/scripted_chooser.h"
#include "support/temp_dir.h"
#include "workflow/file_chooser.h"
#include "workflow/relink_view_model.h"

#include <QCoreApplication>
#include <QMetaEnum>
#include <QObject>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tessaly::testing {

namespace fs = std::filesystem;

/// Two proxies (A002.mov, A003.MOV) beside one .braw asset: two changes, one orphan format.
inline const std::string kTwoProxies = R"(<?xml version="1.0" encoding="UTF-8"?>
<fcpxml version="1.10">
    <resources>
        <format id="r1" name="FFVideoFormat1080p24" frameDuration="100/2400s"/>
        <format id="r2" name="FFVideoFormatRateUndefined" width="4608"/>
        <asset id="r3" name="A001" format="r2"><media-rep src="file:///Media/A001.braw"/></asset>
        <asset id="r4" name="A002" format="r1"><media-rep src="file:///Media/A002.mov"/></asset>
        <asset id="r5" name="A003" format="r1"><media-rep src="file:///Media/A003.MOV"/></asset>
    </resources>
    <library><event><project><sequence format="r1"><spine>
        <asset-clip ref="r4"/><asset-clip ref="r5"/><asset-clip ref="r3"/>
    </spine></sequence></project></event></library>
</fcpxml>
)";

/// Nothing to relink: the engine refuses it.
inline const std::string kNoProxy =
    R"(<fcpxml><resources><asset id="r3"><media-rep src="file:///m/A.braw"/></asset></resources></fcpxml>)";

inline std::string describe(const std::optional<fs::path> &location) {
    return location ? location->string() : std::string("none");
}

/// Every notification of a view model, in order: "will" for objectWillChange(), otherwise
/// "<property>=<value>"; it also checks that each property already holds the value it reports.
class Recorder {
public:
    explicit Recorder(RelinkViewModel &model) {
        using VM = RelinkViewModel;
        const auto on = [&](auto signal, auto record) {
            QObject::connect(&model, signal, &m_context, record);
        };
        on(&VM::objectWillChange, [this] { events.emplace_back("will"); });
        on(&VM::inputURLChanged, [this, &model](const std::optional<fs::path> &value) {
            EXPECT_EQ(model.inputURL(), value);
            events.push_back("inputURL=" + describe(value));
        });
        on(&VM::outputURLChanged, [this, &model](const std::optional<fs::path> &value) {
            EXPECT_EQ(model.outputURL(), value);
            events.push_back("outputURL=" + describe(value));
        });
        on(&VM::isRunningChanged, [this, &model](bool value) {
            EXPECT_EQ(model.isRunning(), value);
            events.push_back(std::string("isRunning=") + (value ? "true" : "false"));
        });
        on(&VM::phaseChanged, [this, &model](VM::AppPhase value) {
            EXPECT_EQ(model.phase(), value);
            events.push_back("phase=" + phaseName(value));
        });
        on(&VM::srcsUpdatedChanged,
           [this](qint64 value) { events.push_back("srcsUpdated=" + std::to_string(value)); });
        on(&VM::formatsUpdatedChanged,
           [this](qint64 value) { events.push_back("formatsUpdated=" + std::to_string(value)); });
        on(&VM::orphansRemovedChanged,
           [this](qint64 value) { events.push_back("orphansRemoved=" + std::to_string(value)); });
        on(&VM::changesChanged, [this, &model](const std::vector<RelinkChange> &value) {
            EXPECT_EQ(model.changes(), value);
            events.push_back("changes=" + std::to_string(value.size()));
        });
        on(&VM::errorMessageChanged, [this, &model](const std::optional<QString> &value) {
            EXPECT_EQ(model.errorMessage(), value);
            events.push_back("errorMessage=" + (value ? value->toStdString() : "none"));
        });
        on(&VM::logURLChanged, [this, &model](const std::optional<fs::path> &value) {
            EXPECT_EQ(model.logURL(), value);
            events.push_back("logURL=" + describe(value));
        });
        on(&VM::logErrorChanged, [this, &model](const std::optional<QString> &value) {
            EXPECT_EQ(model.logError(), value);
            events.push_back("logError=" + (value ? value->toStdString() : "none"));
        });
    }

    static std::string phaseName(RelinkViewModel::AppPhase phase) {
        return QMetaEnum::fromType<RelinkViewModel::AppPhase>().valueToKey(int(phase));
    }

    /// `assignments`, each preceded by the "will" that must announce it.
    static std::vector<std::string> announced(const std::vector<std::string> &assignments) {
        std::vector<std::string> result;
        for (const auto &assignment : assignments) {
            result.emplace_back("will");
            result.push_back(assignment);
        }
        return result;
    }

    std::vector<std::string> events;

private:
    QObject m_context;
};

/// Lets every background job end and every call it queued be delivered. The pool's threads
/// stay, as in the application, so later runs reuse them.
inline void settle() {
    EXPECT_TRUE(QTest::qWaitFor(
        [] { return QThreadPool::globalInstance()->activeThreadCount() == 0; }, 60000));
    QCoreApplication::processEvents();
}

/// Runs the event loop until the run in flight has published its outcome (at most 60 s), then
/// lets every background job end and checks that the run published exactly once.
inline void finishRun(RelinkViewModel &model) {
    QSignalSpy running(&model, &RelinkViewModel::isRunningChanged);
    QSignalSpy phase(&model, &RelinkViewModel::phaseChanged);
    ASSERT_TRUE(model.isRunning());
    ASSERT_TRUE(phase.wait(60000)) << "the run published no outcome";
    settle();
    EXPECT_EQ(running.count(), 1);
    EXPECT_EQ(phase.count(), 1);
    EXPECT_FALSE(model.isRunning());
}

/// Finishes the run and checks that it succeeded with `phase`.
inline void expectSuccess(RelinkViewModel &model, RelinkViewModel::AppPhase phase) {
    finishRun(model);
    EXPECT_EQ(model.errorMessage(), std::nullopt);
    EXPECT_EQ(model.phase(), phase);
}

/// Finishes the run and returns its error message; fails the test if the run succeeded.
inline std::string expectFailure(RelinkViewModel &model) {
    finishRun(model);
    EXPECT_EQ(model.phase(), RelinkViewModel::AppPhase::error);
    EXPECT_TRUE(model.changes().empty());
    return model.errorMessage() ? model.errorMessage()->toStdString() : std::string("(none)");
}

/// A view model with a scripted chooser, and a folder for its files.
class RelinkViewModelTest : public ::testing::Test {
protected:
    TempDir dir;
    std::shared_ptr<ScriptedChooser> chooser = std::make_shared<ScriptedChooser>();
    std::shared_ptr<RelinkViewModel> model = RelinkViewModel::create(chooser);

    void chooseOutput(const fs::path &location) {
        chooser->outputAnswer = location;
        model->selectOutput();
    }
};

} // namespace tessaly::testing
