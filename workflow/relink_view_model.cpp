#include "workflow/relink_view_model.h"

#include "workflow/file_chooser.h"
#include "workflow/hand_off.h"
#include "workflow/path_string.h"
#include "workflow/remembered_folders.h"

#include <QMetaObject>
#include <QThread>

#include <algorithm>

namespace tessaly {

/// Destroys the view model on its own thread, whichever thread drops the last reference.
struct GuiThreadRelease {
    void operator()(RelinkViewModel *model) const {
        if (QThread::currentThread() == model->thread()) {
            delete model;
            return;
        }
        // A run's last reference can go away on a worker; the object's teardown and its
        // destroyed() signal must still happen where its observers live.
        QMetaObject::invokeMethod(
            model, [last = HandOff(model)]() mutable { delete last.take(); }, Qt::QueuedConnection);
    }
};

std::shared_ptr<RelinkViewModel> RelinkViewModel::create(std::shared_ptr<FileChooser> chooser) {
    return std::shared_ptr<RelinkViewModel>(new RelinkViewModel(std::move(chooser)),
                                            GuiThreadRelease());
}

RelinkViewModel::RelinkViewModel(std::shared_ptr<FileChooser> chooser)
    : m_chooser(std::move(chooser)) {}

RelinkViewModel::~RelinkViewModel() = default;

void RelinkViewModel::selectOutput() {
    if (!m_inputURL || !m_chooser)
        return;
    const QString proposedName = m_outputURL ? pathString(m_outputURL->filename()) : QString();
    auto chosen = m_chooser->chooseOutput(tr("Save Relinked File As"), proposedName);
    if (chosen) {
        assign(m_outputURL, std::optional(std::move(*chosen)), &RelinkViewModel::outputURLChanged);
        assign(m_outputExists, false, &RelinkViewModel::outputExistsChanged);
    }
}

void RelinkViewModel::runDryRun() {
    run(true);
}

void RelinkViewModel::setInput(const std::filesystem::path &location) {
    assign(m_inputURL, std::optional(location), &RelinkViewModel::inputURLChanged);
    assign(m_outputURL, std::optional(RelinkRun::defaultOutputLocation(location)),
           &RelinkViewModel::outputURLChanged);
    assign(m_outputExists, false, &RelinkViewModel::outputExistsChanged);
    assign(m_phase, AppPhase::idle, &RelinkViewModel::phaseChanged);
    assign(m_errorMessage, std::optional<QString>(), &RelinkViewModel::errorMessageChanged);
    assign(m_changes, std::vector<RelinkChange>(), &RelinkViewModel::changesChanged);
    assign(m_savedURL, std::optional<std::filesystem::path>(), &RelinkViewModel::savedURLChanged);
    assign(m_logURL, std::optional<std::filesystem::path>(), &RelinkViewModel::logURLChanged);
    assign(m_logError, std::optional<QString>(), &RelinkViewModel::logErrorChanged);
}

void RelinkViewModel::selectInput() {
    if (!m_chooser)
        return;
    if (auto chosen = m_chooser->chooseInput(tr("Choose FCPXML or FCPXMLD")))
        setInput(*chosen);
}

void RelinkViewModel::locateOriginals() {
    if (!m_chooser || m_isRunning)
        return;
    if (auto chosen = m_chooser->chooseFolder(tr("Locate Originals")))
        addSearchFolder(*chosen);
}

void RelinkViewModel::addSearchFolder(const std::filesystem::path &folder) {
    if (m_isRunning || folder.empty())
        return;
    // "/RAID/Day1/" and "/RAID/./Day1" are the folder "/RAID/Day1": listed and remembered once.
    std::filesystem::path normal = folder.lexically_normal();
    if (!normal.has_filename() && normal.has_relative_path())
        normal = normal.parent_path();
    RememberedFolders::remember(normal);
    std::vector<std::filesystem::path> folders = m_searchFolders;
    if (std::find(folders.begin(), folders.end(), normal) == folders.end())
        folders.push_back(std::move(normal));
    setSearchFolders(std::move(folders));
}

void RelinkViewModel::removeSearchFolder(const std::filesystem::path &folder) {
    if (m_isRunning)
        return;
    std::vector<std::filesystem::path> folders = m_searchFolders;
    if (std::erase(folders, folder) > 0)
        setSearchFolders(std::move(folders));
}

void RelinkViewModel::setSearchFolders(std::vector<std::filesystem::path> folders) {
    assign(m_searchFolders, std::move(folders), &RelinkViewModel::searchFoldersChanged);
    // What the card says of the originals must be what these folders give.
    run(true);
}

} // namespace tessaly
