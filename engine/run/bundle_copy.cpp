#include "engine/run/bundle_copy.h"

#include "engine/run/file_system.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace tessaly {

namespace {

constexpr mode_t kPermissionBits = S_IRWXU | S_IRWXG | S_IRWXO;

std::string joined(const std::string &folder, const std::string &name) {
    return folder.empty() ? name : folder + "/" + name;
}

/// The names in an open folder, in the order the file system lists them.
std::vector<std::string> entriesOf(int folder, const std::string &where) {
    const int copy = ::dup(folder);
    DIR *listing = copy < 0 ? nullptr : ::fdopendir(copy);
    if (!listing) {
        const int error = errno;
        if (copy >= 0)
            ::close(copy);
        throw BundleCopyError(where, error, {}, true);
    }
    ::rewinddir(listing);
    std::vector<std::string> names;
    errno = 0;
    while (const dirent *entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
        errno = 0;
    }
    const int error = errno;
    ::closedir(listing);
    if (error)
        throw BundleCopyError(where, error, {}, true);
    return names;
}

void copyFile(int from, int to, const std::string &name, const std::string &entry) {
    os::UniqueFd source;
    struct stat info {};
    if (int error = os::openRegular(from, name.c_str(), false, source, info))
        throw BundleCopyError(entry, error, {}, true);
    if (!source) // swapped for something else since the folder was listed
        throw BundleCopyError(entry, 0, std::string(os::kindName(info.st_mode)), true);
    os::UniqueFd copy(::openat(
        to, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR));
    if (!copy)
        throw BundleCopyError(entry, errno, {}, false);
    if (int error = os::copyContents(source.get(), copy.get()))
        throw BundleCopyError(entry, error, {}, false);
    if (::fchmod(copy.get(), (info.st_mode & kPermissionBits) | S_IWUSR) != 0)
        throw BundleCopyError(entry, errno, {}, false);
    if (int error = os::syncToDisk(copy.get()))
        throw BundleCopyError(entry, error, {}, false);
    if (::close(copy.release()) != 0 && errno != EINTR)
        throw BundleCopyError(entry, errno, {}, false);
}

void copyLink(int from, int to, const std::string &name, const std::string &entry,
              std::size_t size) {
    // Some file systems report no size for a link.
    std::string target(std::max<std::size_t>(size, 4095) + 1, '\0');
    const ssize_t length = ::readlinkat(from, name.c_str(), target.data(), target.size());
    if (length < 0)
        throw BundleCopyError(entry, errno, {}, true);
    target.resize(std::size_t(length));
    if (::symlinkat(target.c_str(), to, name.c_str()) != 0)
        throw BundleCopyError(entry, errno, {}, false);
}

void copyEntries(int from, int to, const std::string &skip, const std::string &where);

void copyFolder(int from, int to, const std::string &name, const std::string &entry, mode_t mode) {
    os::UniqueFd source;
    if (int error = os::openFolder(from, name.c_str(), false, source))
        throw BundleCopyError(entry, error, {}, true);
    if (::mkdirat(to, name.c_str(), S_IRWXU) != 0)
        throw BundleCopyError(entry, errno, {}, false);
    os::UniqueFd copy;
    if (int error = os::openFolder(to, name.c_str(), false, copy))
        throw BundleCopyError(entry, error, {}, false);
    copyEntries(source.get(), copy.get(), {}, entry);
    if (::fchmod(copy.get(), (mode & kPermissionBits) | S_IRWXU) != 0)
        throw BundleCopyError(entry, errno, {}, false);
    if (int error = os::syncToDisk(copy.get()))
        throw BundleCopyError(entry, error, {}, false);
}

void copyEntries(int from, int to, const std::string &skip, const std::string &where) {
    for (const std::string &name : entriesOf(from, where)) {
        if (name == skip)
            continue;
        const std::string entry = joined(where, name);
        struct stat info {};
        if (::fstatat(from, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            throw BundleCopyError(entry, errno, {}, true);
        if (S_ISREG(info.st_mode))
            copyFile(from, to, name, entry);
        else if (S_ISDIR(info.st_mode))
            copyFolder(from, to, name, entry, info.st_mode);
        else if (S_ISLNK(info.st_mode))
            copyLink(from, to, name, entry, std::size_t(info.st_size));
        else
            throw BundleCopyError(entry, 0, std::string(os::kindName(info.st_mode)), true);
    }
}

} // namespace

BundleCopyError::BundleCopyError(std::string entry, int error, std::string kind, bool reading)
    : std::runtime_error("cannot copy " + entry), m_entry(std::move(entry)), m_error(error),
      m_kind(std::move(kind)), m_reading(reading) {}

void copyBundleEntries(int from, int to, const std::string &skip) {
    copyEntries(from, to, skip, {});
}

} // namespace tessaly
