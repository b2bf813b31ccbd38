#include "engine/relink/search_folders.h"

#include "engine/relink/text_key.h"
#include "engine/xml/text.h"

#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

namespace {

/// Folders no editor keeps footage in, and whose content would only add stale or deleted
/// copies of a clip: hidden ones (.Trashes, .Spotlight-V100) and the file systems' own.
bool passedOver(std::string_view name) {
    return name.front() == '.' || name == "lost+found" || name == "$RECYCLE.BIN" ||
           name == "System Volume Information";
}

/// The stem of a name whose extension is "braw" in any case, or an empty view.
std::string_view brawStem(std::string_view name) {
    constexpr std::string_view kExtension = ".braw";
    if (name.size() <= kExtension.size())
        return {};
    const std::string_view stem = name.substr(0, name.size() - kExtension.size());
    if (!xml::equalsIgnoringASCIICase(name.substr(stem.size()), kExtension))
        return {};
    return stem;
}

std::string joined(const std::string &folder, std::string_view name) {
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path.push_back('/');
    return path.append(name);
}

} // namespace

SearchFolders::SearchFolders(std::vector<std::string> folders) : m_roots(std::move(folders)) {}

void SearchFolders::walk() {
    if (m_walked)
        return;
    m_walked = true;
    std::vector<std::string> pending;
    for (const std::string &root : m_roots) {
        // The folder the editor named is followed if it is a link; nothing below it is.
        list(root, true, pending);
        while (!pending.empty()) {
            const std::string folder = std::move(pending.back());
            pending.pop_back();
            list(folder, false, pending);
        }
    }
}

void SearchFolders::list(const std::string &folder, bool followLink,
                         std::vector<std::string> &pending) {
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
    const int fd = ::open(folder.c_str(), flags);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        // A link met below a search folder is no folder of its own; anything else is noted.
        if (!(errno == ELOOP || errno == ENOTDIR) || followLink)
            m_unreadable.push_back(folder);
        if (fd >= 0)
            ::close(fd);
        return;
    }
    if (!m_listed[std::uint64_t(info.st_dev)].insert(std::uint64_t(info.st_ino)).second) {
        ::close(fd);
        return;
    }
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        m_unreadable.push_back(folder);
        return;
    }
    const auto index = std::uint32_t(m_folders.size());
    m_folders.push_back(folder);
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            // Some file systems do not say; ask without following a link.
            struct stat entryInfo {};
            if (::fstatat(::dirfd(dir), entry->d_name, &entryInfo, AT_SYMLINK_NOFOLLOW) == 0)
                type = S_ISDIR(entryInfo.st_mode) ? DT_DIR : DT_REG;
        }
        if (type == DT_DIR) {
            if (!passedOver(name))
                pending.push_back(joined(folder, name));
        } else if (const std::string_view stem = brawStem(name); !stem.empty()) {
            m_byStem[textKey(stem)].push_back({index, std::string(name)});
        }
        errno = 0;
    }
    if (errno != 0)
        m_unreadable.push_back(folder);
    ::closedir(dir);
}

std::vector<std::string> SearchFolders::named(std::string_view stem) const {
    std::vector<std::string> paths;
    const auto match = m_byStem.find(textKey(stem));
    if (match == m_byStem.end())
        return paths;
    for (const Entry &entry : match->second)
        paths.push_back(joined(m_folders[entry.folder], entry.name));
    return paths;
}

} // namespace tessaly
