#include "engine/run/change_log_file.h"

#include "engine/relink/change_log.h"
#include "engine/run/file_system.h"
#include "engine/xml/text.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tessaly {

namespace {

bool isSameItem(const struct stat &item, const fs::path &path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && info.st_dev == item.st_dev &&
           info.st_ino == item.st_ino;
}

/// The start of the file `name` in `folder`, enough for a log's header; empty when unreadable.
std::string headOf(int folder, const std::string &name) {
    os::UniqueFd file;
    struct stat info {};
    if (os::openRegular(folder, name.c_str(), false, file, info) != 0 || !file)
        return {};
    std::string head(64 * 1024, '\0');
    const ssize_t got = ::pread(file.get(), head.data(), head.size(), 0);
    head.resize(got > 0 ? std::size_t(got) : 0);
    return head;
}

/// The output a change log's text names, as written there; empty when it is no change log.
std::string outputNamedBy(std::string_view log) {
    constexpr std::string_view kProgram = "Program:\tTessaly";
    constexpr std::string_view kOutput = "\nOutput:\t";
    if (log.substr(0, kProgram.size()) != kProgram)
        return {};
    const auto start = log.find(kOutput);
    if (start == std::string_view::npos)
        return {};
    const std::string_view rest = log.substr(start + kOutput.size());
    const auto end = rest.find('\n');
    return end == std::string_view::npos ? std::string() : std::string(rest.substr(0, end));
}

} // namespace

fs::path changeLogLocation(const fs::path &output) {
    const fs::path location = withoutTrailingSeparator(output);
    return location.parent_path() / (location.stem().string() + ".relink.log");
}

OutputVerdict examineLogPlace(int folder, const std::string &name, bool replace,
                              const ProtectedInputs &inputs, std::string_view output) {
    struct stat here {};
    if (::fstatat(folder, name.c_str(), &here, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? OutputVerdict{} : OutputVerdict::refusing(std::strerror(errno));
    if (!replace)
        return OutputVerdict::refusing(std::strerror(EEXIST), true);
    // A log is a plain file of ours: a link, a folder or an input under its name is the
    // user's, whatever it is called.
    if (S_ISLNK(here.st_mode))
        return OutputVerdict::refusing("it is a link, which Tessaly does not replace");
    if (!S_ISREG(here.st_mode))
        return OutputVerdict::refusing("it is " + std::string(os::kindName(here.st_mode)) +
                                       ", which Tessaly does not replace");
    if (isSameItem(here, inputs.own))
        return OutputVerdict::refusing("it is the input itself");
    for (const fs::path &other : inputs.others) {
        if (isSameItem(here, other))
            return OutputVerdict::refusing("it is one of the inputs");
    }
    const std::string named = outputNamedBy(headOf(folder, name));
    if (!named.empty() && named != changeLogField(output))
        return OutputVerdict::refusing("it is the change log of " + xml::curlyQuoted(named) +
                                       ", which Tessaly does not replace");
    return OutputVerdict::replacing();
}

} // namespace tessaly
