#pragma once

#include <cstddef>

#include <sys/types.h>

// The calls whose support differs by file system and kernel, and those a full or failing disk
// refuses, behind one table: a test takes rename-exchange, hard links or copy_file_range away,
// or fails a write or a sync at a chosen moment, by replacing one entry. Each entry behaves as
// the system call it stands for: -1 (or a negative count) with errno set on failure.

namespace tessaly::os {

struct SystemCalls {
    /// Renames `from` to `to` in `dir` unless something stands at `to`; EINVAL, ENOSYS or
    /// ENOTSUP where the file system has no such rename.
    int (*renameNoReplace)(int dir, const char *from, const char *to);
    /// Swaps the entries `a` and `b` of `dir`; EINVAL, ENOSYS or ENOTSUP where it cannot.
    int (*renameExchange)(int dir, const char *a, const char *b);
    /// A second name `to` for the file `from` in `dir`; EPERM or ENOTSUP without hard links.
    int (*link)(int dir, const char *from, const char *to);
    /// Copies up to `length` bytes from the position of `from` to that of `to` in the kernel;
    /// EXDEV, ENOSYS, EINVAL or EOPNOTSUPP where it cannot.
    ssize_t (*copyRange)(int from, int to, std::size_t length);
    ssize_t (*write)(int fd, const void *bytes, std::size_t size);
    /// Forces what was written through `fd` to the disk.
    int (*sync)(int fd);
};

/// The table in use: the system's unless a test set another.
const SystemCalls &systemCalls();

/// Makes `calls` the table in use; null restores the system's. Not for use while a run works.
void setSystemCalls(const SystemCalls *calls);

/// The system's own calls.
const SystemCalls &realSystemCalls();

} // namespace tessaly::os
