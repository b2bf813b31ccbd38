#include "engine/relink/originals.h"
#include "engine/relink/fcpxml_relinker.h"
#include "engine/relink/text_key.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace tessaly {

namespace {

/// Whether `name`, inside the folder open as `descriptor` or else taken as a whole path, is a
/// readable regular file. stat follows links, so a link to a regular file counts and a folder
/// or a device does not. The file is not opened: opening a device or a pipe can block or have
/// effects of its own.
bool isReadableRegularFile(int descriptor, const std::string &name) {
    struct stat info {};
    return ::fstatat(descriptor, name.c_str(), &info, 0) == 0 && S_ISREG(info.st_mode) &&
           ::faccessat(descriptor, name.c_str(), R_OK, 0) == 0;
}

bool isFolder(const std::string &path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isAscii(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

/// `path` without trailing and repeated slashes, so that one folder has one key.
std::string tidy(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (const char c : path) {
        if (c != '/' || out.empty() || out.back() != '/')
            out.push_back(c);
    }
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return out;
}

/// The folder part of a tidy absolute path ("/" for a name in the root).
std::string_view folderOf(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string_view nameOf(std::string_view path) {
    return path.substr(path.rfind('/') + 1);
}

std::string joined(const std::string &folder, std::string_view name) {
    return folder == "/" ? "/" + std::string(name) : folder + "/" + std::string(name);
}

struct DirCloser {
    void operator()(DIR *dir) const { ::closedir(dir); }
};

} // namespace

OriginalsFinder::OriginalsFinder(std::filesystem::path documentFolder)
    : m_documentFolder(std::move(documentFolder)) {
    // Folders are resolved from the root; without a current folder to start a relative one
    // from, relative originals cannot be found.
    if (!m_documentFolder.empty() && m_documentFolder.is_relative()) {
        std::error_code error;
        std::filesystem::path absolute = std::filesystem::absolute(m_documentFolder, error);
        m_documentFolder = error ? std::filesystem::path() : std::move(absolute);
    }
}

bool OriginalsFinder::found(std::string_view path) {
    return onDisk(path).has_value();
}

std::optional<std::string> OriginalsFinder::onDisk(std::string_view path) {
    if (path.empty())
        return std::nullopt;
    std::string full;
    if (path.front() == '/') {
        full = tidy(path);
    } else {
        if (m_documentFolder.empty())
            return std::nullopt;
        full = tidy((m_documentFolder / path).string());
    }
    if (full.empty() || full.front() != '/' || full == "/")
        return std::nullopt;
    const std::optional<std::string> &folder = resolvedFolder(std::string(folderOf(full)));
    if (!folder)
        return std::nullopt;
    const std::string_view name = nameOf(full);
    const int descriptor = folderDescriptor(*folder);
    auto readable = [&](std::string_view entry) {
        return descriptor >= 0 ? isReadableRegularFile(descriptor, std::string(entry))
                               : isReadableRegularFile(AT_FDCWD, joined(*folder, entry));
    };
    if (readable(name))
        return joined(*folder, name);
    const auto other = isAscii(name) ? std::nullopt : entryNamed(*folder, name);
    if (other && readable(*other))
        return joined(*folder, *other);
    return std::nullopt;
}

int OriginalsFinder::folderDescriptor(const std::string &folder) {
    // Originals come in runs from one folder: keep that folder open, so that each look walks
    // one name instead of the whole path. A folder that cannot be opened (-1) is read by path.
    if (folder != m_openFolder) {
        closeFolder();
#ifdef O_PATH
        m_openDescriptor = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#else
        m_openDescriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
        m_openFolder = folder;
    }
    return m_openDescriptor;
}

void OriginalsFinder::closeFolder() {
    if (m_openDescriptor >= 0)
        ::close(m_openDescriptor);
    m_openDescriptor = -1;
    m_openFolder.clear();
}

OriginalsFinder::~OriginalsFinder() {
    closeFolder();
}

const std::optional<std::string> &OriginalsFinder::resolvedFolder(const std::string &folder) {
    // Climb to the nearest folder already known or existing as spelled, then come down again,
    // taking at each level the entry that is the same name once normalised.
    std::vector<std::string> pending;
    std::string current = folder;
    for (;;) {
        if (m_folders.count(current))
            break;
        if (current == "/" || isFolder(current)) {
            m_folders.emplace(current, current);
            break;
        }
        if (isAscii(current)) {
            m_folders.emplace(current, std::nullopt);
            break;
        }
        pending.push_back(current);
        current = std::string(folderOf(current));
    }
    while (!pending.empty()) {
        const std::optional<std::string> &parent = m_folders.at(current);
        std::optional<std::string> resolved;
        if (parent) {
            if (auto entry = entryNamed(*parent, nameOf(pending.back()))) {
                std::string candidate = joined(*parent, *entry);
                if (isFolder(candidate))
                    resolved = std::move(candidate);
            }
        }
        current = std::move(pending.back());
        pending.pop_back();
        m_folders.emplace(current, std::move(resolved));
    }
    return m_folders.at(folder);
}

std::optional<std::string> OriginalsFinder::entryNamed(const std::string &folder,
                                                       std::string_view name) {
    const Listing &entries = listing(folder);
    const auto match = entries.find(textKey(name));
    if (match == entries.end())
        return std::nullopt;
    return match->second;
}

const OriginalsFinder::Listing &OriginalsFinder::listing(const std::string &folder) {
    auto [it, added] = m_listings.try_emplace(folder);
    if (!added)
        return it->second;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir)
        return it->second;
    while (const dirent *entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            it->second.try_emplace(textKey(name), name);
    }
    return it->second;
}

} // namespace tessaly
