#include "engine/run/file_system.h"

#include "engine/run/system_calls.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <random>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tessaly::os {

namespace {

/// Six letters or digits: the same alphabet and length as mkstemp's.
std::string randomSuffix() {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof(kAlphabet) - 2);
    std::string suffix(6, 'x');
    for (char &c : suffix)
        c = kAlphabet[pick(generator)];
    return suffix;
}

constexpr int kNameAttempts = 100;

int retryingClose(int fd) {
    // After EINTR the descriptor is gone on Linux and macOS alike; do not close it twice.
    return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
}

/// `flock(fd, operation)`, again after a signal: 0, or the error.
int lockRetrying(int fd, int operation) {
    while (::flock(fd, operation) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
}

} // namespace

UniqueFd &UniqueFd::operator=(UniqueFd &&other) noexcept {
    if (this != &other) {
        reset();
        m_fd = other.release();
    }
    return *this;
}

int UniqueFd::release() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

void UniqueFd::reset() {
    if (m_fd >= 0)
        retryingClose(m_fd);
    m_fd = -1;
}

std::string_view kindName(mode_t mode) {
    switch (mode & S_IFMT) {
    case S_IFREG:
        return "a file";
    case S_IFDIR:
        return "a folder";
    case S_IFLNK:
        return "a link";
    case S_IFIFO:
        return "a named pipe";
    case S_IFSOCK:
        return "a socket";
    case S_IFCHR:
    case S_IFBLK:
        return "a device";
    default:
        return "a special file";
    }
}

int openRegular(int dir, const char *name, bool followLink, UniqueFd &fd, struct stat &info) {
    fd.reset();
    // Look before opening: opening a pipe waits for a writer, and opening some devices acts.
    if (::fstatat(dir, name, &info, followLink ? 0 : AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (!S_ISREG(info.st_mode))
        return 0;
    const int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
    UniqueFd opened(::openat(dir, name, flags));
    if (!opened)
        return errno;
    // The name may have been swapped for something else since it was examined.
    if (::fstat(opened.get(), &info) != 0)
        return errno;
    if (!S_ISREG(info.st_mode))
        return 0;
    const int status = ::fcntl(opened.get(), F_GETFL);
    if (status != -1)
        ::fcntl(opened.get(), F_SETFL, status & ~O_NONBLOCK);
    fd = std::move(opened);
    return 0;
}

int openFolder(int dir, const char *name, bool followLink, UniqueFd &fd) {
    const int flags =
        O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
    fd = UniqueFd(::openat(dir, name, flags));
    return fd ? 0 : errno;
}

int createUniqueFile(int dir, const std::string &prefix, mode_t mode, UniqueFd &fd,
                     std::string &name) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        name = prefix + randomSuffix();
        fd = UniqueFd(
            ::openat(dir, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (fd)
            return 0;
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

int createUniqueFolder(int dir, const std::string &prefix, mode_t mode, std::string &name) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        name = prefix + randomSuffix();
        if (::mkdirat(dir, name.c_str(), mode) == 0)
            return 0;
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

int renameNoReplace(int dir, const std::string &from, const std::string &to) {
    const SystemCalls &calls = systemCalls();
    if (calls.renameNoReplace(dir, from.c_str(), to.c_str()) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    // A file system without an exclusive rename. A file can still be moved without ever
    // replacing anything: a second link fails when the name is taken.
    struct stat info {};
    if (::fstatat(dir, from.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (!S_ISDIR(info.st_mode)) {
        if (calls.link(dir, from.c_str(), to.c_str()) == 0)
            return ::unlinkat(dir, from.c_str(), 0) == 0 ? 0 : errno;
        if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS && errno != EMLINK)
            return errno;
    }
    // Neither (exFAT through FUSE, some network shares), or a folder, which cannot be linked:
    // look first. Only an item made in the instant between the look and the rename, by a
    // program that does not take the folder's lock as runs do, could be replaced.
    if (::fstatat(dir, to.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    if (errno != ENOENT)
        return errno;
    return ::renameat(dir, from.c_str(), dir, to.c_str()) == 0 ? 0 : errno;
}

int renameExchange(int dir, const std::string &a, const std::string &b) {
    if (systemCalls().renameExchange(dir, a.c_str(), b.c_str()) == 0)
        return 0;
    return errno == EINVAL || errno == ENOSYS ? ENOTSUP : errno;
}

int renameReplacing(int dir, const std::string &from, const std::string &to) {
    return ::renameat(dir, from.c_str(), dir, to.c_str()) == 0 ? 0 : errno;
}

int syncToDisk(int fd) {
    while (systemCalls().sync(fd) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
}

int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = systemCalls().write(fd, bytes.data(), bytes.size());
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        bytes.remove_prefix(std::size_t(put));
    }
    return 0;
}

int copyContents(int from, int to) {
    // In the kernel, without passing the bytes through this process; some file systems can
    // share the blocks instead of writing them again.
    bool copiedAny = false;
    for (;;) {
        const ssize_t copied = systemCalls().copyRange(from, to, std::size_t(1) << 30);
        if (copied > 0) {
            copiedAny = true;
            continue;
        }
        if (copied == 0)
            return 0;
        if (errno == EINTR)
            continue;
        const bool unsupported =
            errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP;
        if (!unsupported || copiedAny)
            return errno;
        break;
    }
    constexpr std::size_t kChunk = std::size_t(1) << 20;
    const std::unique_ptr<char[]> buffer(new char[kChunk]);
    for (;;) {
        const ssize_t got = ::read(from, buffer.get(), kChunk);
        if (got == 0)
            return 0;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (int error = writeAll(to, std::string_view(buffer.get(), std::size_t(got))))
            return error;
    }
}

int removeTree(int dir, const std::string &name) {
    struct stat info {};
    if (::fstatat(dir, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : errno;
    if (!S_ISDIR(info.st_mode))
        return ::unlinkat(dir, name.c_str(), 0) == 0 || errno == ENOENT ? 0 : errno;

    UniqueFd folder;
    if (int error = openFolder(dir, name.c_str(), false, folder))
        return error;
    DIR *listing = ::fdopendir(folder.get());
    if (!listing)
        return errno;
    folder.release(); // the listing owns it now
    int firstError = 0;
    while (const dirent *entry = ::readdir(listing)) {
        const std::string child = entry->d_name;
        if (child == "." || child == "..")
            continue;
        if (int error = removeTree(::dirfd(listing), child); error && !firstError)
            firstError = error;
    }
    ::closedir(listing);
    if (::unlinkat(dir, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT)
        return firstError ? firstError : errno;
    return firstError;
}

int tryLock(int fd) {
    return lockRetrying(fd, LOCK_EX | LOCK_NB);
}

FolderLock::FolderLock(int folder) {
    if (lockRetrying(folder, LOCK_EX) == 0)
        m_folder = folder;
}

FolderLock::~FolderLock() {
    if (m_folder >= 0)
        ::flock(m_folder, LOCK_UN);
}

} // namespace tessaly::os
