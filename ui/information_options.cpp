#include "ui/information_options.h"

#include "engine/version.h"

#include <cstring>

namespace tessaly {

namespace {

constexpr const char kUsage[] =
    "Usage: Quorlan [OPTION]... [FILE]...\n"
    "Relink Final Cut Pro XML exports (.fcpxml documents and .fcpxmld bundles) from proxy\n"
    "media to their Blackmagic RAW originals. Opens a window for each FILE, with that export\n"
    "chosen, or one empty window.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Qt's own options, such as -platform and -style, are taken as well. A FILE that starts\n"
    "with '-' follows '--'. For many exports at once, see tessaly-relink(1).\n";

} // namespace

std::optional<int> answerInformationOptions(int argc, char **argv, std::ostream &out) {
    if (!argv)
        return std::nullopt;
    for (int i = 1; i < argc && argv[i]; ++i) {
        const char *argument = argv[i];
        if (std::strcmp(argument, "--") == 0)
            return std::nullopt;
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0)
            out << kUsage;
        else if (std::strcmp(argument, "--version") == 0)
            out << "Quorlan " << kVersion << '\n';
        else
            continue;
        out.flush();
        // A help text that could not be written is a failure, as for any other program.
        return out ? 0 : 1;
    }
    return std::nullopt;
}

} // namespace tessaly
