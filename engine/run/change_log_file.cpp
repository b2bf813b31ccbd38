#include "engine/run/change_log_file.h"

#include "engine/run/file_system.h"
#include "engine/run/pending_output.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace tessaly {

namespace {

bool isSameItem(const struct stat &item, const fs::path &path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && info.st_dev == item.st_dev &&
           info.st_ino == item.st_ino;
}

std::string reasonFor(int error) {
    return os::isDiskFull(error) ? "the disk is full" : std::strerror(error);
}

/// Why what stands at `location` must stay; empty when it may be replaced.
std::string refusalToReplace(const struct stat &here, const ProtectedInputs &inputs) {
    // A log is a plain file of ours: a link, a folder or an input under its name is the
    // user's, whatever it is called.
    if (S_ISLNK(here.st_mode))
        return "it is a link, which Tessaly does not replace";
    if (!S_ISREG(here.st_mode))
        return "it is " + std::string(os::kindName(here.st_mode)) +
               ", which Tessaly does not replace";
    if (isSameItem(here, inputs.own))
        return "it is the input itself";
    for (const fs::path &other : inputs.others) {
        if (isSameItem(here, other))
            return "it is one of the inputs";
    }
    return {};
}

} // namespace

fs::path changeLogLocation(const fs::path &output) {
    const fs::path location = withoutTrailingSeparator(output);
    return location.parent_path() / (location.stem().string() + ".relink.log");
}

std::optional<OutputRefusal> writeChangeLog(const fs::path &location, std::string_view text,
                                            mode_t mode, bool replace,
                                            const ProtectedInputs &inputs) {
    PendingOutput::Placement placement = PendingOutput::Placement::NeverReplace;
    struct stat here {};
    if (::lstat(location.c_str(), &here) == 0) {
        // Said before a long log is written in vain; the final rename decides all the same.
        if (!replace)
            return OutputRefusal{std::strerror(EEXIST), true};
        std::string refusal = refusalToReplace(here, inputs);
        if (!refusal.empty())
            return OutputRefusal{std::move(refusal)};
        placement = PendingOutput::Placement::Replace;
    }
    try {
        writeFileWhole(location, text, mode, placement);
        return std::nullopt;
    } catch (const std::system_error &error) {
        const int code = error.code().value();
        return OutputRefusal{reasonFor(code), code == EEXIST && !replace};
    } catch (const std::bad_alloc &) {
        return OutputRefusal{reasonFor(ENOMEM)};
    }
}

} // namespace tessaly
