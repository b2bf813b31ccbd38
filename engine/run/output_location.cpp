#include "engine/run/output_location.h"

#include "engine/xml/text.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace tessaly {

namespace {

bool sameItem(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

/// True when `item` is the input at `path` or one of the folders that hold it.
bool holdsOrIs(const struct stat &item, const fs::path &path, bool includeFolders) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && sameItem(info, item))
        return true;
    if (!includeFolders)
        return false;
    // By identity rather than by name: links and bind mounts give a folder many names.
    for (fs::path folder = comparable(path).parent_path(); !folder.empty();
         folder = folder.parent_path()) {
        if (::stat(folder.c_str(), &info) == 0 && sameItem(info, item))
            return true;
        if (folder == folder.root_path())
            break;
    }
    return false;
}

} // namespace

bool hasExtension(const fs::path &path, std::string_view lowerExtension) {
    const std::string text = withoutTrailingSeparator(path).filename().string();
    const auto dot = text.rfind('.');
    return dot != std::string::npos &&
           xml::equalsIgnoringASCIICase(std::string_view(text).substr(dot + 1), lowerExtension);
}

fs::path withoutTrailingSeparator(const fs::path &path) {
    std::string text = path.string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

fs::path comparable(const fs::path &path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    if (error)
        return path.lexically_normal();
    fs::path resolved = fs::weakly_canonical(absolute, error);
    return error ? absolute.lexically_normal() : resolved;
}

bool isWithin(const fs::path &inner, const fs::path &outer) {
    auto innerIt = inner.begin();
    for (auto outerIt = outer.begin(); outerIt != outer.end(); ++outerIt, ++innerIt) {
        if (outerIt->empty() && std::next(outerIt) == outer.end())
            break; // a trailing separator
        if (innerIt == inner.end() || *innerIt != *outerIt)
            return false;
    }
    return true;
}

fs::path folderOf(const fs::path &path) {
    const fs::path parent = path.parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

OutputVerdict examineOutput(int folder, const std::string &name, bool bundle, bool replace,
                            const ProtectedInputs &inputs) {
    struct stat here {};
    if (::fstatat(folder, name.c_str(), &here, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return {};
        return OutputVerdict::refusing(std::strerror(errno));
    }
    // What a link at the output names counts too: writing there must not look like a
    // relinked copy of the input while it is the input.
    struct stat named = here;
    const bool linked = S_ISLNK(here.st_mode) && ::fstatat(folder, name.c_str(), &named, 0) == 0;
    for (const struct stat *item : {&here, &named}) {
        const bool throughLink = item == &named && linked;
        if (holdsOrIs(*item, inputs.own, false))
            return OutputVerdict::refusing(throughLink ? "it is a link to the input"
                                                       : "it is the input itself");
        for (const fs::path &other : inputs.others) {
            if (holdsOrIs(*item, other, false))
                return OutputVerdict::refusing(throughLink ? "it is a link to one of the inputs"
                                                           : "it is one of the inputs");
        }
    }
    if (!replace)
        return OutputVerdict::refusing(std::strerror(EEXIST), true);
    if (S_ISLNK(here.st_mode))
        return OutputVerdict::refusing(linked
                                           ? "it is a link, which Tessaly does not replace"
                                           : "it is a broken link, which Tessaly does not replace");
    if (!bundle) {
        if (!S_ISREG(here.st_mode) || !hasExtension(name, "fcpxml"))
            return OutputVerdict::refusing(
                "it is not an .fcpxml document, so Tessaly does not replace it");
        return OutputVerdict::replacing();
    }
    if (!S_ISDIR(here.st_mode) || !hasExtension(name, "fcpxmld"))
        return OutputVerdict::refusing(
            "it is not an .fcpxmld bundle, so Tessaly does not replace it");
    if (holdsOrIs(here, inputs.own, true))
        return OutputVerdict::refusing("it holds the input");
    for (const fs::path &other : inputs.others) {
        if (holdsOrIs(here, other, true))
            return OutputVerdict::refusing("it holds one of the inputs");
    }
    return OutputVerdict::replacing();
}

} // namespace tessaly
