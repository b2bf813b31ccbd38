#include "workflow/relink_view_model.h"

#include <QMetaObject>
#include <QThread>
#include <QThreadPool>

#include <variant>

namespace tessaly {

void RelinkViewModel::run(bool dryRun)
{
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
    QThreadPool::globalInstance()->start(
        [document = std::get<RelinkRun::Prepared>(std::move(prepared)),
         owner = shared_from_this()]() mutable {
            RelinkRun::Outcome outcome = RelinkRun::execute(document);
            handOver(std::move(owner), std::move(outcome), document.dryRun);
        });
}

void RelinkViewModel::handOver(std::shared_ptr<RelinkViewModel> owner, RelinkRun::Outcome outcome,
                               bool dryRun)
{
    RelinkViewModel *target = owner.get();
    QMetaObject::invokeMethod(
        target,
        [owner = std::move(owner), outcome = std::move(outcome), dryRun] {
            owner->publish(outcome, dryRun);
        },
        Qt::QueuedConnection);
}

void RelinkViewModel::publish(const RelinkRun::Outcome &outcome, bool dryRun)
{
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
