#pragma once

#include <string>
#include <string_view>

#include <sys/stat.h>
#include <sys/types.h>

// The few file-system primitives a safe run needs, over POSIX descriptors, with the platform's
// own calls where POSIX has none (an exclusive or swapping rename); the calls that differ by file
// system go through the table of system_calls.h. Every function returns 0 or an errno value and
// never throws; names are taken relative to an open folder, so a folder renamed meanwhile cannot
// redirect a write. Linux and macOS.

namespace tessaly::os {

/// An owned file descriptor, closed when it goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd &&other) noexcept : m_fd(other.release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept;
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    /// Gives up ownership and returns the descriptor.
    int release();
    /// Closes the descriptor held, if any.
    void reset();

private:
    int m_fd = -1;
};

/// What stands at a name, as a user would call it: "a named pipe", "a socket", "a device"...
std::string_view kindName(mode_t mode);

/// Examines `name` in `dir` (following a link only when `followLink`) and opens it for reading
/// only when it is a regular file, so a pipe or device is never opened and nothing blocks.
/// On success `info` describes the item and `fd` is open only for a regular file.
int openRegular(int dir, const char *name, bool followLink, UniqueFd &fd, struct stat &info);

/// Opens a folder for reading its entries; follows links only when `followLink`.
int openFolder(int dir, const char *name, bool followLink, UniqueFd &fd);

/// Creates a new file `prefix` + six random letters or digits in `dir` (never an existing one),
/// open for reading and writing, with `mode`; `name` receives the name made.
int createUniqueFile(int dir, const std::string &prefix, mode_t mode, UniqueFd &fd,
                     std::string &name);

/// Creates a new folder `prefix` + six random letters or digits in `dir`, with `mode`.
int createUniqueFolder(int dir, const std::string &prefix, mode_t mode, std::string &name);

/// Renames `from` to `to` inside `dir` unless something stands at `to` (then EEXIST).
int renameNoReplace(int dir, const std::string &from, const std::string &to);

/// Swaps the entries `a` and `b` of `dir` in one step; ENOTSUP where the file system cannot.
int renameExchange(int dir, const std::string &a, const std::string &b);

/// Renames `from` to `to` inside `dir`, replacing a file that stands at `to`.
int renameReplacing(int dir, const std::string &from, const std::string &to);

/// Forces what was written through `fd` (a file or a folder) to the disk.
int syncToDisk(int fd);

/// Writes all of `bytes` to `fd`, as many writes as the file system takes.
int writeAll(int fd, std::string_view bytes);

/// Copies the bytes of `from` (from its start) to the end of `to`.
int copyContents(int from, int to);

/// Removes `name` from `dir`, a folder with everything in it, never following a link.
int removeTree(int dir, const std::string &name);

/// Takes an exclusive lock on an open file or folder without waiting; EWOULDBLOCK when another
/// process holds it. The lock goes with the last descriptor, also when a process is killed.
int tryLock(int fd);

/// Holds an exclusive lock on an open folder, waiting for it, until it goes. Where the file
/// system has no locks it holds nothing.
class FolderLock {
public:
    explicit FolderLock(int folder);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

private:
    int m_folder = -1;
};

} // namespace tessaly::os
