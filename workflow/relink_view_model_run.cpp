#include "workflow/relink_view_model.h"

#include "workflow/hand_off.h"

#include <QMetaObject>
#include <QThread>
#include <QThreadPool>

namespace tessaly {

void RelinkViewModel::run(bool dryRun) {
    if (!m_inputURL)
        return;
    assign(m_isRunning, true, &RelinkViewModel::isRunningChanged);
    assign(m_errorMessage, std::optional<QString>(), &RelinkViewModel::errorMessageChanged);
    assign(m_changes, std::vector<RelinkChange>(), &RelinkViewModel::changesChanged);
    // A log stays on offer only while the apply that wrote it is what the window shows.
    assign(m_logURL, std::optional<std::filesystem::path>(), &RelinkViewModel::logURLChanged);
    assign(m_logError, std::optional<QString>(), &RelinkViewModel::logErrorChanged);

    // The run resolves its locations once; later choices belong to the next run. Everything
    // that touches the disk happens in the job: a bundle may hold gigabytes, and a folder on a
    // network volume may take long to answer.
    RunRequest request;
    request.input = *m_inputURL;
    request.output = m_outputURL.value_or(RelinkRun::defaultOutputLocation(request.input));
    request.dryRun = dryRun;
    // An earlier output bundle is replaced (the save dialog asks before the user picks one);
    // an existing document never is.
    request.replaceExisting = RelinkRun::isBundle(request.input);

    struct Job {
        RunRequest request;
        std::shared_ptr<RelinkViewModel> owner;
    };
    // The job sees only values: what to run and the reference that keeps this object alive
    // until the outcome is back.
    QThreadPool::globalInstance()->start(
        [job = HandOff(Job{std::move(request), shared_from_this()})]() mutable {
            Job mine = job.take();
            RunOutcome outcome = RelinkRun::perform(mine.request);
            handOver(std::move(mine.owner), std::move(outcome), mine.request.dryRun);
        });
}

void RelinkViewModel::handOver(std::shared_ptr<RelinkViewModel> owner, RunOutcome outcome,
                               bool dryRun) {
    struct Delivery {
        std::shared_ptr<RelinkViewModel> owner;
        RunOutcome outcome;
        bool dryRun;
    };
    RelinkViewModel *target = owner.get();
    QMetaObject::invokeMethod(
        target,
        [delivery = HandOff(Delivery{std::move(owner), std::move(outcome), dryRun})]() mutable {
            const Delivery received = delivery.take();
            received.owner->publish(received.outcome, received.dryRun);
        },
        Qt::QueuedConnection);
}

void RelinkViewModel::publish(const RunOutcome &outcome, bool dryRun) {
    Q_ASSERT(QThread::currentThread() == thread());
    assign(m_isRunning, false, &RelinkViewModel::isRunningChanged);
    if (!outcome.result) {
        assign(m_errorMessage, std::optional(QString::fromStdString(outcome.errorMessage)),
               &RelinkViewModel::errorMessageChanged);
        assign(m_phase, AppPhase::error, &RelinkViewModel::phaseChanged);
        return;
    }
    const RelinkResult &result = *outcome.result;
    const auto removed = static_cast<qint64>(result.orphanFormatsRemoved.size());
    assign(m_changes, result.changes, &RelinkViewModel::changesChanged);
    assign(m_srcsUpdated, static_cast<qint64>(result.changes.size()),
           &RelinkViewModel::srcsUpdatedChanged);
    assign(m_orphansRemoved, removed, &RelinkViewModel::orphansRemovedChanged);
    assign(m_formatsUpdated, removed, &RelinkViewModel::formatsUpdatedChanged);
    if (!dryRun) {
        // Before the phase, so that the success banner finds them when it appears.
        assign(m_logURL, outcome.logPath.empty() ? std::nullopt : std::optional(outcome.logPath),
               &RelinkViewModel::logURLChanged);
        assign(m_logError,
               outcome.logError.empty() ? std::nullopt
                                        : std::optional(QString::fromStdString(outcome.logError)),
               &RelinkViewModel::logErrorChanged);
    }
    assign(m_phase, dryRun ? AppPhase::dryRunComplete : AppPhase::done,
           &RelinkViewModel::phaseChanged);
}

} // namespace tessaly
