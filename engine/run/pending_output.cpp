#include "engine/run/pending_output.h"

#include "engine/run/output_location.h"

#include <cerrno>
#include <map>
#include <mutex>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tessaly {

namespace {

constexpr std::string_view kMarker = ".tessaly-";
constexpr std::size_t kSuffixLength = 6;
// The longest name most file systems take (NAME_MAX on Linux, and on macOS in bytes of UTF-8).
constexpr std::size_t kLongestName = 255;

bool isSuffix(std::string_view text) {
    if (text.size() != kSuffixLength)
        return false;
    for (char c : text) {
        const bool alphanumeric =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (!alphanumeric)
            return false;
    }
    return true;
}

/// The temporaries of this process's pending outputs, by registration.
struct Pending {
    std::recursive_mutex mutex; // a commit ends its registration while it holds it
    unsigned long lastId = 0;
    std::map<unsigned long, std::pair<int, std::string>> temporaries;
};

Pending &pending() {
    static Pending *const list = new Pending; // never destroyed: a signal may come at exit
    return *list;
}

} // namespace

void PendingOutput::Registration::begin(int folder, const std::string &name) {
    Pending &list = pending();
    const std::lock_guard lock(list.mutex);
    m_id = ++list.lastId;
    list.temporaries.emplace(m_id, std::make_pair(folder, name));
}

void PendingOutput::Registration::end() {
    if (m_id == 0)
        return;
    Pending &list = pending();
    const std::lock_guard lock(list.mutex);
    list.temporaries.erase(std::exchange(m_id, 0));
}

void PendingOutput::abandonAll() {
    Pending &list = pending();
    // Held until the process ends: a commit waits for it, so none follows.
    list.mutex.lock();
    for (const auto &[id, temporary] : list.temporaries) {
        // A run still at work may add entries to a folder while it goes; try again.
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (os::removeTree(temporary.first, temporary.second) == 0)
                break;
        }
    }
}

std::string PendingOutput::temporaryPrefix(std::string_view destinationName) {
    const std::size_t room = kLongestName - 1 - kMarker.size() - kSuffixLength;
    std::string_view name = destinationName;
    if (name.size() > room) {
        name = name.substr(0, room);
        // Cut at a character boundary: a name is shown to users, and a file system may refuse
        // broken UTF-8.
        while (!name.empty() &&
               (static_cast<unsigned char>(destinationName[name.size()]) & 0xC0) == 0x80)
            name.remove_suffix(1);
    }
    return "." + std::string(name) + std::string(kMarker);
}

PendingOutput::PendingOutput(Kind kind, os::UniqueFd folder, std::string name, WriteFailure failure)
    : m_kind(kind), m_failure(std::move(failure)), m_folder(std::move(folder)),
      m_finalName(std::move(name)) {}

PendingOutput PendingOutput::create(const fs::path &destination, Kind kind, mode_t mode,
                                    WriteFailure failure) {
    os::UniqueFd folder;
    failure.check(os::openFolder(AT_FDCWD, folderOf(destination).c_str(), true, folder));
    PendingOutput output(kind, std::move(folder), destination.filename().string(),
                         std::move(failure));
    output.createTemporary(mode);
    return output;
}

PendingOutput PendingOutput::create(int folder, const std::string &name, Kind kind, mode_t mode,
                                    WriteFailure failure) {
    os::UniqueFd own(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
    if (!own)
        failure.raise(errno);
    PendingOutput output(kind, std::move(own), name, std::move(failure));
    output.createTemporary(mode);
    return output;
}

void PendingOutput::createTemporary(mode_t mode) {
    // Another run clears leftovers by taking their locks: between this temporary's creation and
    // its lock it would look like a killed run's. Runs therefore clear and create in turn.
    const os::FolderLock inTurn(m_folder.get());
    clearLeftovers();
    // A signal between the temporary's creation and its registration would leave it behind;
    // abandonAll() waits for both.
    const std::lock_guard registering(pending().mutex);

    const std::string prefix = temporaryPrefix(m_finalName);
    const int dir = m_folder.get();
    if (m_kind == Kind::File) {
        m_failure.check(os::createUniqueFile(dir, prefix, S_IRUSR | S_IWUSR, m_item, m_name));
    } else {
        m_failure.check(os::createUniqueFolder(dir, prefix, S_IRWXU, m_name));
        m_failure.check(os::openFolder(dir, m_name.c_str(), false, m_item));
    }
    // The exact bits asked for, whatever the process's umask.
    if (::fchmod(m_item.get(), mode) != 0)
        m_failure.raise(errno);
    m_failure.check(os::tryLock(m_item.get()));
    m_registration.begin(m_folder.get(), m_name);
}

PendingOutput::~PendingOutput() {
    m_registration.end();
    m_item.reset();
    if (m_folder && !m_name.empty())
        os::removeTree(m_folder.get(), m_name);
}

void PendingOutput::clearLeftovers() const {
    const std::string prefix = temporaryPrefix(m_finalName);
    const int copy = ::dup(m_folder.get());
    if (copy < 0)
        return;
    DIR *listing = ::fdopendir(copy);
    if (!listing) {
        ::close(copy);
        return;
    }
    ::rewinddir(listing);
    while (const dirent *entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (name.size() != prefix.size() + kSuffixLength ||
            name.substr(0, prefix.size()) != prefix || !isSuffix(name.substr(prefix.size())))
            continue;
        // A temporary still locked belongs to a run at work; the lock of a killed run went
        // with its process.
        os::UniqueFd item(::openat(m_folder.get(), entry->d_name,
                                   O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat info {};
        if (!item || ::fstat(item.get(), &info) != 0 ||
            !(S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) || os::tryLock(item.get()) != 0)
            continue;
        os::removeTree(m_folder.get(), std::string(name));
    }
    ::closedir(listing);
}

void PendingOutput::commit(Placement placement, const std::function<void()> &lastCheck) {
    m_failure.check(os::syncToDisk(m_item.get()));
    if (lastCheck)
        lastCheck();
    // Once the move begins, a signal waits for it: the output is then in place, whole.
    const std::lock_guard moving(pending().mutex);
    if (placement == Placement::NeverReplace) {
        m_failure.check(os::renameNoReplace(m_folder.get(), m_name, m_finalName));
    } else if (m_kind == Kind::File) {
        m_failure.check(os::renameReplacing(m_folder.get(), m_name, m_finalName));
    } else {
        replaceFolder();
    }
    m_name.clear();
    m_registration.end(); // under the lock already held
    // The rename itself must reach the disk too; some file systems cannot sync a folder, and
    // the output is in place either way.
    os::syncToDisk(m_folder.get());
}

void PendingOutput::replaceFolder() {
    const int dir = m_folder.get();
    int error = os::renameExchange(dir, m_name, m_finalName);
    if (error == ENOENT) {
        m_failure.check(os::renameNoReplace(dir, m_name, m_finalName));
        return;
    }
    if (error == 0) {
        // The old output now has the temporary's name. It was examined as a bundle; should
        // anything else have taken its place since, it goes back and the run fails.
        struct stat replaced {};
        if (::fstatat(dir, m_name.c_str(), &replaced, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(replaced.st_mode)) {
            os::renameExchange(dir, m_name, m_finalName);
            m_failure.raise("it changed while Tessaly was writing, so nothing was replaced");
        }
        // Should its removal fail part way, what is left is hidden and cleared by the next
        // output here.
        os::removeTree(dir, m_name);
        return;
    }
    if (error != ENOTSUP)
        m_failure.raise(error);
    // No swap on this file system: set the old output aside, then move the new one in.
    const std::string prefix = temporaryPrefix(m_finalName);
    std::string aside;
    for (int attempt = 0; attempt < 100; ++attempt) {
        os::UniqueFd probe;
        // A free hidden name: made as a file, then given up for the rename to take.
        m_failure.check(os::createUniqueFile(dir, prefix, S_IRUSR | S_IWUSR, probe, aside));
        ::unlinkat(dir, aside.c_str(), 0);
        error = os::renameNoReplace(dir, m_finalName, aside);
        if (error != EEXIST)
            break;
    }
    m_failure.check(error);
    error = os::renameNoReplace(dir, m_name, m_finalName);
    if (error) {
        // The old output goes back: without it the user would have neither.
        os::renameNoReplace(dir, aside, m_finalName);
        m_failure.raise(error);
    }
    os::removeTree(dir, aside);
}

} // namespace tessaly
