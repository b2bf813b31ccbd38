#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tessaly::cli {

/// What the command line asked for.
struct Options {
    bool dryRun = false;
    bool json = false;
    bool overwrite = false;
    bool requireOriginals = false;
    bool noLog = false;
    bool help = false;
    bool version = false;
    std::optional<std::filesystem::path> output;
    std::vector<std::filesystem::path> originals; ///< search folders, in the order given
    std::vector<std::filesystem::path> inputs;
};

/// The usage text printed by --help and after a usage error.
extern const char *const kUsage;

/// Parses the arguments after the program name; on a usage error returns nullopt and sets
/// `error` to a one-line reason.
std::optional<Options> parseOptions(const std::vector<std::string> &args, std::string &error);

} // namespace tessaly::cli
