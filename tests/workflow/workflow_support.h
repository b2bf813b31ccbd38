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
inline const std::string kTwoProxies = R"(<fcpxml version="1.10"><resources>
<format id="r1"/><format id="r2"/>
<asset id="r3" format="r2"><media-rep src="file:///Media/A001.braw"/></asset>
<asset id="r4" format="r1"><media-rep src="file:///Media/A002.mov"/></asset>
<asset id="r5" format="r1"><media-rep src="file:///Media/A003.MOV"/></asset>
</resources><library><event><project><sequence format="r1"><spine>
<asset-clip ref="r4"/><asset-clip ref="r5"/><asset-clip ref="r3"/>
</spine></sequence></project></event></library></fcpxml>
)";

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
        watch(model, "isRunning", &VM::isRunningChanged, &VM::isRunning);
        watch(model, "phase", &VM::phaseChanged, &VM::phase);
        watch(model, "srcsUpdated", &VM::srcsUpdatedChanged, &VM::srcsUpdated);
        watch(model, "formatsUpdated", &VM::formatsUpdatedChanged, &VM::formatsUpdated);
        watch(model, "orphansRemoved", &VM::orphansRemovedChanged, &VM::orphansRemoved);
        watch(model, "changes", &VM::changesChanged, &VM::changes);
        watch(model, "errorMessage", &VM::errorMessageChanged, &VM::errorMessage);
        watch(model, "logURL", &VM::logURLChanged, &VM::logURL);
        watch(model, "logError", &VM::logErrorChanged, &VM::logError);
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
    static std::string shown(RelinkViewModel::AppPhase value) { return phaseName(value); }
    /// Only how many: the changes themselves are the run's.
    static std::string shown(const std::vector<RelinkChange> &value) {
        return std::to_string(value.size());
    }

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
