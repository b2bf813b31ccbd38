#include "engine/run/bundle_copy.h"

#include "engine/run/file_system.h"
#include "engine/run/relink_run.h"
#include "engine/xml/text.h"

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

/// One bundle's copy: how its failures are told.
struct Copy {
    const std::string &bundleName;
    const WriteFailure &writing;

    /// An entry that could not be read (`error`), or is of `kind`, which is never copied.
    [[noreturn]] void unreadable(const std::string &entry, int error,
                                 std::string_view kind = {}) const {
        const std::string what = std::string(RelinkRun::kCopyBundleFailed) +
                                 xml::curlyQuoted(entry) + " in " + xml::curlyQuoted(bundleName);
        if (error == 0)
            throw RunError(what + " is " + std::string(kind) +
                           "; only files, folders and links can be copied.");
        throw RunError(what + " could not be read: " + xml::systemErrorText(error) + ".", error);
    }
};

/// The names in an open folder, in the order the file system lists them.
std::vector<std::string> entriesOf(int folder, const std::string &where, const Copy &copy) {
    const int duplicate = ::dup(folder);
    DIR *listing = duplicate < 0 ? nullptr : ::fdopendir(duplicate);
    if (!listing) {
        const int error = errno;
        if (duplicate >= 0)
            ::close(duplicate);
        copy.unreadable(where, error);
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
        copy.unreadable(where, error);
    return names;
}

void copyFile(int from, int to, const std::string &name, const std::string &entry,
              const Copy &copy) {
    os::UniqueFd source;
    struct stat info {};
    if (int error = os::openRegular(from, name.c_str(), false, source, info))
        copy.unreadable(entry, error);
    if (!source) // swapped for something else since the folder was listed
        copy.unreadable(entry, 0, os::kindName(info.st_mode));
    os::UniqueFd made(::openat(
        to, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR));
    if (!made)
        copy.writing.raise(errno);
    if (int error = os::copyContents(source.get(), made.get()))
        copy.writing.raise(error);
    if (::fchmod(made.get(), (info.st_mode & kPermissionBits) | S_IWUSR) != 0)
        copy.writing.raise(errno);
    if (int error = os::syncToDisk(made.get()))
        copy.writing.raise(error);
    if (::close(made.release()) != 0 && errno != EINTR)
        copy.writing.raise(errno);
}

void copyLink(int from, int to, const std::string &name, const std::string &entry, std::size_t size,
              const Copy &copy) {
    // Some file systems report no size for a link.
    std::string target(std::max<std::size_t>(size, 4095) + 1, '\0');
    const ssize_t length = ::readlinkat(from, name.c_str(), target.data(), target.size());
    if (length < 0)
        copy.unreadable(entry, errno);
    target.resize(std::size_t(length));
    if (::symlinkat(target.c_str(), to, name.c_str()) != 0)
        copy.writing.raise(errno);
}

void copyEntries(int from, int to, const std::string &skip, const std::string &where,
                 const Copy &copy);

void copyFolder(int from, int to, const std::string &name, const std::string &entry, mode_t mode,
                const Copy &copy) {
    os::UniqueFd source;
    if (int error = os::openFolder(from, name.c_str(), false, source))
        copy.unreadable(entry, error);
    if (::mkdirat(to, name.c_str(), S_IRWXU) != 0)
        copy.writing.raise(errno);
    os::UniqueFd made;
    if (int error = os::openFolder(to, name.c_str(), false, made))
        copy.writing.raise(error);
    copyEntries(source.get(), made.get(), {}, entry, copy);
    if (::fchmod(made.get(), (mode & kPermissionBits) | S_IRWXU) != 0)
        copy.writing.raise(errno);
    if (int error = os::syncToDisk(made.get()))
        copy.writing.raise(error);
}

void copyEntries(int from, int to, const std::string &skip, const std::string &where,
                 const Copy &copy) {
    for (const std::string &name : entriesOf(from, where, copy)) {
        if (name == skip)
            continue;
        const std::string entry = joined(where, name);
        struct stat info {};
        if (::fstatat(from, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            copy.unreadable(entry, errno);
        if (S_ISREG(info.st_mode))
            copyFile(from, to, name, entry, copy);
        else if (S_ISDIR(info.st_mode))
            copyFolder(from, to, name, entry, info.st_mode, copy);
        else if (S_ISLNK(info.st_mode))
            copyLink(from, to, name, entry, std::size_t(info.st_size), copy);
        else
            copy.unreadable(entry, 0, os::kindName(info.st_mode));
    }
}

} // namespace

void copyBundleEntries(int from, int to, const std::string &skip, const std::string &bundleName,
                       const WriteFailure &writing) {
    copyEntries(from, to, skip, {}, Copy{bundleName, writing});
}

} // namespace tessaly
