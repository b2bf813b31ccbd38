#pragma once

#include "engine/relink/relink_records.h"
#include "engine/run/relink_run.h"

#include <QObject>
#include <QString>

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace tessaly {

class FileChooser;

/// The observable state of one window's relink work and the operations that change it.
///
/// The object is confined to the GUI thread: it is created, read, changed and destroyed there.
/// Every assignment emits `objectWillChange()`, stores the value (equal or not) and then emits
/// the property's own signal with the new value. A run in flight holds a strong reference, so
/// the object lives until the run's outcome has been published.
///
/// What each operation assigns, in this order:
/// - setInput: inputURL, outputURL, outputExists (false), phase (idle), errorMessage (none),
///   changes (empty), savedURL (none), logURL (none), logError (none).
/// - selectOutput, confirmed: outputURL, outputExists (false).
/// - openInput, refused: errorMessage, phase (error); the input stays as it was.
/// - addSearchFolder, removeSearchFolder, locateOriginals confirmed: searchFolders, then the
///   start of a preview when an input is set.
/// - a run's start: isRunning (true), errorMessage (none), changes (empty), savedURL (none),
///   logURL (none), logError (none); so the output and change log offered are always those
///   of the apply on screen.
/// - a run's success: isRunning (false), recentFolders, changes, srcsUpdated, orphansRemoved,
///   formatsUpdated, searchWarning, then for a preview outputExists, for an apply savedURL,
///   logURL and logError, and last phase (dryRunComplete or done).
/// - a run's failure: isRunning (false), recentFolders, errorMessage, phase (error).
///
/// A view redraws from `objectWillChange()` alone, so that a property added later cannot be
/// missed: every property is assigned through it.
class RelinkViewModel : public QObject, public std::enable_shared_from_this<RelinkViewModel> {
    Q_OBJECT
    Q_PROPERTY(std::optional<std::filesystem::path> inputURL READ inputURL NOTIFY inputURLChanged)
    Q_PROPERTY(
        std::optional<std::filesystem::path> outputURL READ outputURL NOTIFY outputURLChanged)
    Q_PROPERTY(bool outputExists READ outputExists NOTIFY outputExistsChanged)
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
    Q_PROPERTY(AppPhase phase READ phase NOTIFY phaseChanged)
    Q_PROPERTY(qint64 srcsUpdated READ srcsUpdated NOTIFY srcsUpdatedChanged)
    Q_PROPERTY(qint64 formatsUpdated READ formatsUpdated NOTIFY formatsUpdatedChanged)
    Q_PROPERTY(qint64 orphansRemoved READ orphansRemoved NOTIFY orphansRemovedChanged)
    Q_PROPERTY(std::vector<tessaly::RelinkChange> changes READ changes NOTIFY changesChanged)
    Q_PROPERTY(std::optional<QString> errorMessage READ errorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(std::optional<std::filesystem::path> savedURL READ savedURL NOTIFY savedURLChanged)
    Q_PROPERTY(std::optional<std::filesystem::path> logURL READ logURL NOTIFY logURLChanged)
    Q_PROPERTY(std::optional<QString> logError READ logError NOTIFY logErrorChanged)
    Q_PROPERTY(std::vector<std::filesystem::path> searchFolders READ searchFolders NOTIFY
                   searchFoldersChanged)
    Q_PROPERTY(std::vector<std::filesystem::path> recentFolders READ recentFolders NOTIFY
                   recentFoldersChanged)
    Q_PROPERTY(std::optional<QString> searchWarning READ searchWarning NOTIFY searchWarningChanged)

public:
    /// Where the user is in the workflow.
    enum class AppPhase { idle, dryRunComplete, done, error };
    Q_ENUM(AppPhase)

    /// A new view model in its initial state, owned so that its last release, on whatever
    /// thread, destroys it on the calling (GUI) thread; `chooser` may be null (no choosers).
    static std::shared_ptr<RelinkViewModel> create(std::shared_ptr<FileChooser> chooser);

    /// The chosen document or bundle; none until an input is set.
    const std::optional<std::filesystem::path> &inputURL() const { return m_inputURL; }
    /// Where an apply writes; set whenever `inputURL` is set.
    const std::optional<std::filesystem::path> &outputURL() const { return m_outputURL; }
    /// True when the last preview found an earlier output where an apply writes, which the
    /// apply replaces once the user agrees; false again when the input or output changes.
    bool outputExists() const { return m_outputExists; }
    /// True from the start of a run until its outcome has been published.
    bool isRunning() const { return m_isRunning; }
    /// The outcome of the last run, or `idle` after a new input.
    AppPhase phase() const { return m_phase; }
    /// The number of changes of the last successful run.
    qint64 srcsUpdated() const { return m_srcsUpdated; }
    /// The number of formats removed by the last successful run.
    qint64 formatsUpdated() const { return m_formatsUpdated; }
    /// The number of formats removed by the last successful run.
    qint64 orphansRemoved() const { return m_orphansRemoved; }
    /// The changes of the last successful run, in the engine's order, each saying whether its
    /// original was found on this computer.
    const std::vector<RelinkChange> &changes() const { return m_changes; }
    /// The message of the last failed run; none after a success, a new input or a run start.
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    /// Where the apply on screen wrote the relinked document; none after a preview, a failure,
    /// a new input and from a run's start. A later choice of output does not move it: the
    /// document is where it was written.
    const std::optional<std::filesystem::path> &savedURL() const { return m_savedURL; }
    /// The change log written by the apply on screen; none after a preview, a failure, a new
    /// input, from a run's start, and when the log could not be written.
    const std::optional<std::filesystem::path> &logURL() const { return m_logURL; }
    /// Why the apply on screen succeeded without writing its change log; none otherwise.
    const std::optional<QString> &logError() const { return m_logError; }

    /// The folders every run searches for originals, with their subfolders, in the order they
    /// were added, each once. They stay when the input changes.
    const std::vector<std::filesystem::path> &searchFolders() const { return m_searchFolders; }
    /// The folders of originals chosen lately, in this window or an earlier session, most
    /// recent first, that were still there when the last run ended; empty before the first.
    const std::vector<std::filesystem::path> &recentFolders() const { return m_recentFolders; }
    /// The last successful run's warning that names the search folders it could not read;
    /// none when it read them all.
    const std::optional<QString> &searchWarning() const { return m_searchWarning; }

    /// When an input is set, asks the chooser for a save location and makes it the output.
    void selectOutput();
    /// Starts a preview of the input; does nothing when no input is set.
    void runDryRun();
    /// Starts an apply of the input to the output; does nothing when no input is set. When
    /// something stands at the output, the chooser asks once whether to replace it, before the
    /// apply when the preview found it, or when the apply finds it; nothing is replaced
    /// unless the user agrees.
    void runApply();
    /// Makes `location` the input, proposes the default output beside it and resets the phase,
    /// the error, the changes and the change log.
    void setInput(const std::filesystem::path &location);
    /// Asks the chooser for an input and, when the user confirms, sets it.
    void selectInput();
    /// Makes `file` the input as a drop of it would, once a job has found it to be a Final Cut
    /// Pro export; otherwise the input stays and the error says why. Ignored when a run is in
    /// flight by the time the answer is back.
    void openInput(const std::filesystem::path &file);
    /// Asks the chooser for a folder that holds originals and, when the user confirms, adds it
    /// as addSearchFolder does.
    void locateOriginals();
    /// Adds `folder` to the search folders unless it is one already, remembers it for later
    /// sessions, and previews the input again at once. Ignored while a run is in flight.
    void addSearchFolder(const std::filesystem::path &folder);
    /// Takes `folder` out of the search folders and previews the input again at once. Ignored
    /// while a run is in flight.
    void removeSearchFolder(const std::filesystem::path &folder);

Q_SIGNALS:
    void objectWillChange();
    void inputURLChanged(const std::optional<std::filesystem::path> &inputURL);
    void outputURLChanged(const std::optional<std::filesystem::path> &outputURL);
    void outputExistsChanged(bool outputExists);
    void isRunningChanged(bool isRunning);
    void phaseChanged(tessaly::RelinkViewModel::AppPhase phase);
    void srcsUpdatedChanged(qint64 srcsUpdated);
    void formatsUpdatedChanged(qint64 formatsUpdated);
    void orphansRemovedChanged(qint64 orphansRemoved);
    void changesChanged(const std::vector<tessaly::RelinkChange> &changes);
    void errorMessageChanged(const std::optional<QString> &errorMessage);
    void savedURLChanged(const std::optional<std::filesystem::path> &savedURL);
    void logURLChanged(const std::optional<std::filesystem::path> &logURL);
    void logErrorChanged(const std::optional<QString> &logError);
    void searchFoldersChanged(const std::vector<std::filesystem::path> &searchFolders);
    void recentFoldersChanged(const std::vector<std::filesystem::path> &recentFolders);
    void searchWarningChanged(const std::optional<QString> &searchWarning);

private:
    explicit RelinkViewModel(std::shared_ptr<FileChooser> chooser);
    ~RelinkViewModel() override;
    friend struct GuiThreadRelease;

    /// What a run hands back besides the engine's outcome.
    struct RunEnd {
        RunOutcome outcome;
        bool dryRun = true;
        bool replaced = false;    ///< the user agreed to replace the output
        bool outputFound = false; ///< a preview found something standing at the output
        std::vector<std::filesystem::path> recentFolders; ///< those still there
    };

    void run(bool dryRun, bool replace = false);
    /// Runs `work` in the thread pool and `then` with its value on this object's thread,
    /// holding this object alive in between.
    template <typename Value, typename Work, typename Then> void inJob(Work work, Then then);
    void publish(const RunEnd &end);
    void setSearchFolders(std::vector<std::filesystem::path> folders);
    bool confirmReplace();

    template <typename Value, typename Signal>
    void assign(Value &member, Value value, Signal changed);

    std::optional<std::filesystem::path> m_inputURL;
    std::optional<std::filesystem::path> m_outputURL;
    bool m_outputExists = false;
    bool m_isRunning = false;
    AppPhase m_phase = AppPhase::idle;
    qint64 m_srcsUpdated = 0;
    qint64 m_formatsUpdated = 0;
    qint64 m_orphansRemoved = 0;
    std::vector<RelinkChange> m_changes;
    std::optional<QString> m_errorMessage;
    std::optional<std::filesystem::path> m_savedURL;
    std::optional<std::filesystem::path> m_logURL;
    std::optional<QString> m_logError;
    std::vector<std::filesystem::path> m_searchFolders;
    std::vector<std::filesystem::path> m_recentFolders;
    std::optional<QString> m_searchWarning;

    std::shared_ptr<FileChooser> m_chooser;
};

template <typename Value, typename Signal>
void RelinkViewModel::assign(Value &member, Value value, Signal changed) {
    Q_EMIT objectWillChange();
    member = std::move(value);
    // A copy, so that an observer who starts another assignment cannot change what the
    // observers after it are told.
    const Value stored = member;
    Q_EMIT(this->*changed)(stored);
}

} // namespace tessaly
