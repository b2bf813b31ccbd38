#include "engine/run/pending_output.h"

#include <cerrno>
#include <system_error>

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

[[noreturn]] void fail(int error, const char *what) {
    throw std::system_error(error, std::generic_category(), what);
}

void check(int error, const char *what) {
    if (error)
        fail(error, what);
}

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

fs::path folderOf(const fs::path &destination) {
    const fs::path parent = destination.parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

} // namespace

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

PendingOutput::PendingOutput(fs::path destination, Kind kind, os::UniqueFd folder, std::string name)
    : m_destination(std::move(destination)), m_kind(kind), m_folder(std::move(folder)),
      m_finalName(std::move(name)) {}

PendingOutput PendingOutput::create(const fs::path &destination, Kind kind, mode_t mode) {
    os::UniqueFd folder;
    check(os::openFolder(AT_FDCWD, folderOf(destination).c_str(), true, folder),
          "open the output folder");
    PendingOutput output(destination, kind, std::move(folder), destination.filename().string());
    // Another run clears leftovers by taking their locks: between this temporary's creation and
    // its lock it would look like a killed run's. Runs therefore clear and create in turn.
    const os::FolderLock inTurn(output.m_folder.get());
    output.clearLeftovers();

    const std::string prefix = temporaryPrefix(output.m_finalName);
    const int dir = output.m_folder.get();
    if (kind == Kind::File) {
        check(os::createUniqueFile(dir, prefix, S_IRUSR | S_IWUSR, output.m_item, output.m_name),
              "create the temporary file");
    } else {
        check(os::createUniqueFolder(dir, prefix, S_IRWXU, output.m_name),
              "create the temporary folder");
        check(os::openFolder(dir, output.m_name.c_str(), false, output.m_item),
              "open the temporary folder");
    }
    // The exact bits asked for, whatever the process's umask.
    if (::fchmod(output.m_item.get(), mode) != 0)
        fail(errno, "set the permissions");
    check(os::tryLock(output.m_item.get()), "lock the temporary");
    return output;
}

PendingOutput::~PendingOutput() {
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

void PendingOutput::commit(Placement placement) {
    check(os::syncToDisk(m_item.get()), "write to the disk");
    if (placement == Placement::NeverReplace) {
        check(os::renameNoReplace(m_folder.get(), m_name, m_finalName), "move into place");
    } else if (m_kind == Kind::File) {
        check(os::renameReplacing(m_folder.get(), m_name, m_finalName), "move into place");
    } else {
        replaceFolder();
    }
    m_name.clear();
    // The rename itself must reach the disk too; some file systems cannot sync a folder, and
    // the output is in place either way.
    os::syncToDisk(m_folder.get());
}

void PendingOutput::replaceFolder() {
    const int dir = m_folder.get();
    int error = os::renameExchange(dir, m_name, m_finalName);
    if (error == ENOENT) {
        check(os::renameNoReplace(dir, m_name, m_finalName), "move into place");
        return;
    }
    if (error == 0) {
        // The old output now has the temporary's name: remove it. Should that fail part way,
        // what is left is hidden and cleared by the next output here.
        os::removeTree(dir, m_name);
        return;
    }
    if (error != ENOTSUP)
        fail(error, "move into place");
    // No swap on this file system: set the old output aside, then move the new one in.
    const std::string prefix = temporaryPrefix(m_finalName);
    std::string aside;
    for (int attempt = 0; attempt < 100; ++attempt) {
        os::UniqueFd probe;
        // A free hidden name: made as a file, then given up for the rename to take.
        check(os::createUniqueFile(dir, prefix, S_IRUSR | S_IWUSR, probe, aside),
              "set the old output aside");
        ::unlinkat(dir, aside.c_str(), 0);
        error = os::renameNoReplace(dir, m_finalName, aside);
        if (error != EEXIST)
            break;
    }
    check(error, "set the old output aside");
    error = os::renameNoReplace(dir, m_name, m_finalName);
    if (error) {
        os::renameNoReplace(dir, aside, m_finalName);
        fail(error, "move into place");
    }
    os::removeTree(dir, aside);
}

void writeFileWhole(const fs::path &destination, std::string_view bytes, mode_t mode,
                    PendingOutput::Placement placement) {
    PendingOutput output = PendingOutput::create(destination, PendingOutput::Kind::File, mode);
    while (!bytes.empty()) {
        const ssize_t written = ::write(output.fd(), bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            fail(errno, "write");
        }
        bytes.remove_prefix(std::size_t(written));
    }
    output.commit(placement);
}

} // namespace tessaly
