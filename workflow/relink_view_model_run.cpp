#include "workflow/relink_view_model.h"

#include "workflow/hand_off.h"

#include <QMetaObject>
#include <QThread>
#include <QThreadPool>

#include <variant>

namespace tessaly {

void RelinkViewModel::run(bool dryRun) {
    if (!m_inputURL)
        return;
    assign(m_isRunning, true, &RelinkViewModel::isRunningChanged);
    assign(m_errorMessage, std::optional<QString>(), &RelinkViewModel::errorMessageChanged);
    assign(m_changes, std::vector<RelinkChange>(), &RelinkViewModel::changesChanged);

    // The run resolves its locations once; later choices belong to the next run.
    const std::filesystem::path input = *m_inputURL;
    const std::filesystem::path output =
        m_outputURL.value_or(RelinkRun::defaultOutputLocation(input));

    auto prepared = RelinkRun::prepare(input, output, dryRun);
    if (auto *failure = std::get_if<RelinkRun::Failure>(&prepared)) {
        // Published like every other outcome, after the current GUI work, never in between.
        handOver(shared_from_this(), RelinkRun::Outcome{std::nullopt, std::move(failure->message)},
                 dryRun);
        return;
    }
    struct Job {
        RelinkRun::Prepared prepared;
        std::shared_ptr<RelinkViewModel> owner;
    };
    // The job sees only values: the document to process and the reference that keeps this
    // object alive until the outcome is back.
    QThreadPool::globalInstance()->start(
        [job = HandOff(Job{std::get<RelinkRun::Prepared>(std::move(prepared)),
                           shared_from_this()})]() mutable {
            Job mine = job.take();
            RelinkRun::Outcome outcome = RelinkRun::execute(mine.prepared);
            handOver(std::move(mine.owner), std::move(outcome), mine.prepared.dryRun);
        });
}

void RelinkViewModel::handOver(std::shared_ptr<RelinkViewModel> owner, RelinkRun::Outcome outcome,
                               bool dryRun) {
    struct Delivery {
        std::shared_ptr<RelinkViewModel> owner;
        RelinkRun::Outcome outcome;
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

void RelinkViewModel::publish(const RelinkRun::Outcome &outcome, bool dryRun) {
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
    assign(m_phase, dryRun ? AppPhase::dryRunComplete : AppPhase::done,
           &RelinkViewModel::phaseChanged);
}

} // namespace tessaly
