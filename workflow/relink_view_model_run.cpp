#include "workflow/relink_view_model.h"

#include "workflow/export_file.h"
#include "workflow/file_chooser.h"
#include "workflow/hand_off.h"
#include "workflow/remembered_folders.h"

#include <QMetaObject>
#include <QThread>
#include <QThreadPool>

#include <system_error>

namespace tessaly {

template <typename Value, typename Work, typename Then>
void RelinkViewModel::inJob(Work work, Then then) {
    struct Job {
        Work work;
        Then then;
        std::shared_ptr<RelinkViewModel> owner;
    };
    // The job sees only values: what to do and the reference that keeps this object alive
    // until the answer is back on its thread.
    QThreadPool::globalInstance()->start(
        [job = HandOff(Job{std::move(work), std::move(then), shared_from_this()})]() mutable {
            Job mine = job.take();
            Value value = mine.work();
            RelinkViewModel *target = mine.owner.get();
            struct Delivery {
                Then then;
                std::shared_ptr<RelinkViewModel> owner;
                Value value;
            };
            QMetaObject::invokeMethod(
                target,
                [delivery = HandOff(Delivery{std::move(mine.then), std::move(mine.owner),
                                             std::move(value)})]() mutable {
                    Delivery received = delivery.take();
                    received.then(*received.owner, std::move(received.value));
                },
                Qt::QueuedConnection);
        });
}

void RelinkViewModel::run(bool dryRun, bool replace) {
    if (!m_inputURL)
        return;
    assign(m_isRunning, true, &RelinkViewModel::isRunningChanged);
    assign(m_errorMessage, std::optional<QString>(), &RelinkViewModel::errorMessageChanged);
    assign(m_changes, std::vector<RelinkChange>(), &RelinkViewModel::changesChanged);
    // An output and its log stay on offer only while the apply that wrote them is what the
    // window shows.
    assign(m_savedURL, std::optional<std::filesystem::path>(), &RelinkViewModel::savedURLChanged);
    assign(m_logURL, std::optional<std::filesystem::path>(), &RelinkViewModel::logURLChanged);
    assign(m_logError, std::optional<QString>(), &RelinkViewModel::logErrorChanged);

    // The run resolves its locations once; later choices belong to the next run. Everything
    // that touches the disk happens in the job: a bundle may hold gigabytes, and a folder on a
    // network volume may take long to answer.
    RunRequest request;
    request.input = *m_inputURL;
    request.output = m_outputURL.value_or(RelinkRun::defaultOutputLocation(request.input));
    request.dryRun = dryRun;
    // A preview examines the output as an agreed apply would, so that it reports what the
    // apply would refuse; whatever stands there is replaced only once the user has agreed.
    request.checkOutput = true;
    request.replaceExisting = dryRun || replace;
    // The run walks the search folders, and the job asks which remembered ones are still
    // there, so that the card offers only folders the user can add.
    request.searchFolders = m_searchFolders;

    inJob<RunEnd>(
        [request = std::move(request), replace, remembered = RememberedFolders::load()] {
            RunEnd end;
            end.recentFolders = RememberedFolders::stillThere(remembered);
            end.dryRun = request.dryRun;
            end.replaced = replace;
            if (request.dryRun) {
                std::error_code error;
                end.outputFound = std::filesystem::symlink_status(request.output, error).type() !=
                                      std::filesystem::file_type::not_found &&
                                  !error;
            }
            end.outcome = RelinkRun::perform(request);
            return end;
        },
        [](RelinkViewModel &owner, RunEnd end) { owner.publish(end); });
}

void RelinkViewModel::runApply() {
    if (m_isRunning)
        return;
    if (!m_outputExists) {
        run(false);
        return;
    }
    if (confirmReplace())
        run(false, true);
}

bool RelinkViewModel::confirmReplace() {
    return m_chooser && m_outputURL && m_chooser->confirmReplace(*m_outputURL);
}

void RelinkViewModel::publish(const RunEnd &end) {
    Q_ASSERT(QThread::currentThread() == thread());
    const RunOutcome &outcome = end.outcome;
    assign(m_isRunning, false, &RelinkViewModel::isRunningChanged);
    assign(m_recentFolders, end.recentFolders, &RelinkViewModel::recentFoldersChanged);
    if (!outcome.result) {
        // The output appeared after the preview: asked now, once, and the apply starts again.
        if (outcome.outputExists && !end.dryRun && !end.replaced) {
            assign(m_outputExists, true, &RelinkViewModel::outputExistsChanged);
            if (confirmReplace()) {
                run(false, true);
                return;
            }
        }
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
    assign(m_searchWarning,
           outcome.searchWarning.empty()
               ? std::nullopt
               : std::optional(QString::fromStdString(outcome.searchWarning)),
           &RelinkViewModel::searchWarningChanged);
    if (end.dryRun) {
        assign(m_outputExists, end.outputFound, &RelinkViewModel::outputExistsChanged);
    } else {
        // Before the phase, so that the success banner finds them when it appears.
        assign(m_savedURL, outcome.written.empty() ? std::nullopt : std::optional(outcome.written),
               &RelinkViewModel::savedURLChanged);
        assign(m_logURL, outcome.logPath.empty() ? std::nullopt : std::optional(outcome.logPath),
               &RelinkViewModel::logURLChanged);
        assign(m_logError,
               outcome.logError.empty() ? std::nullopt
                                        : std::optional(QString::fromStdString(outcome.logError)),
               &RelinkViewModel::logErrorChanged);
    }
    assign(m_phase, end.dryRun ? AppPhase::dryRunComplete : AppPhase::done,
           &RelinkViewModel::phaseChanged);
}

void RelinkViewModel::openInput(const std::filesystem::path &file) {
    inJob<std::optional<QString>>([file] { return whyNotAnExport(file); },
                                  [file](RelinkViewModel &owner, std::optional<QString> refusal) {
                                      // A run reads the input it started with.
                                      if (owner.m_isRunning)
                                          return;
                                      if (!refusal) {
                                          owner.setInput(file);
                                          return;
                                      }
                                      owner.assign(owner.m_errorMessage, std::move(refusal),
                                                   &RelinkViewModel::errorMessageChanged);
                                      owner.assign(owner.m_phase, AppPhase::error,
                                                   &RelinkViewModel::phaseChanged);
                                  });
}

} // namespace tessaly
