#include "workflow/remembered_folders.h"

#include "workflow/path_string.h"

#include <QSettings>
#include <QStringList>

#include <algorithm>

namespace tessaly {

namespace {

const QString kKey = QStringLiteral("originals/recentFolders");

} // namespace

std::vector<std::filesystem::path> RememberedFolders::load() {
    std::vector<std::filesystem::path> folders;
    const QStringList stored = QSettings().value(kKey).toStringList();
    for (const QString &folder : stored) {
        // A hand-edited settings file may hold anything; only absolute folders are offered.
        const std::filesystem::path path = pathFromString(folder);
        if (path.is_absolute() && int(folders.size()) < kKept &&
            std::find(folders.begin(), folders.end(), path) == folders.end())
            folders.push_back(path);
    }
    return folders;
}

void RememberedFolders::remember(const std::filesystem::path &folder) {
    std::vector<std::filesystem::path> folders = load();
    std::erase(folders, folder);
    folders.insert(folders.begin(), folder);
    if (int(folders.size()) > kKept)
        folders.resize(kKept);
    QStringList stored;
    for (const auto &path : folders)
        stored << pathString(path);
    QSettings settings;
    settings.setValue(kKey, stored);
}

std::vector<std::filesystem::path>
RememberedFolders::stillThere(const std::vector<std::filesystem::path> &folders) {
    std::vector<std::filesystem::path> there;
    for (const auto &folder : folders) {
        std::error_code error;
        if (std::filesystem::is_directory(folder, error))
            there.push_back(folder);
    }
    return there;
}

} // namespace tessaly
