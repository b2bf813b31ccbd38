#include "cli/options.h"

namespace tessaly::cli {

const char *const kUsage =
    "Usage: tessaly-relink [OPTION]... INPUT...\n"
    "\n"
    "Relinks Final Cut Pro XML exports (.fcpxml documents or .fcpxmld bundles) from proxy\n"
    ".mov media to the .braw camera originals of the same name. Each INPUT is read and its\n"
    "relinked copy written to <name>_braw.<extension> beside it; the input is never written.\n"
    "The copy appears whole or not at all: nothing is left behind when a run fails.\n"
    "\n"
    "Every .braw original is looked for on this computer, in a preview too: beside its proxy,\n"
    "then one folder up from a proxy folder named Proxy or Proxies, then in the folders given\n"
    "with --originals. A change whose original is missing is marked (missing), as Final Cut\n"
    "Pro will show its clips offline; one whose name matches several files in those folders\n"
    "is marked (ambiguous: N files), lists them, and keeps pointing beside its proxy.\n"
    "Each apply also writes a change log beside the copy, named like it with the extension\n"
    ".relink.log (Day1_braw.relink.log): a header, then one tab-separated line per change.\n"
    "\n"
    "Options:\n"
    "  --dry-run            preview: count the changes and write nothing\n"
    "  --json               print one JSON document on standard output\n"
    "  --output PATH        write the relinked copy to PATH (only with exactly one INPUT);\n"
    "                       its change log goes beside it\n"
    "  --overwrite          replace an existing .fcpxml document or .fcpxmld bundle at the\n"
    "                       output (never an input) once the new copy is complete, and an\n"
    "                       earlier change log beside it\n"
    "  --originals DIR      also look for .braw originals in DIR and all its subfolders\n"
    "                       (.braw in any case); may be given several times\n"
    "  --require-originals  fail an input, writing nothing, when any of its .braw originals\n"
    "                       is missing or ambiguous\n"
    "  --no-log             write no change log\n"
    "  --help               print this help\n"
    "  --version            print the version\n"
    "\n"
    "Exit status: 0 when every input succeeded, 1 when any failed, 2 for a usage error. A\n"
    "change log that cannot be written, and a folder under --originals that cannot be read,\n"
    "are warnings on standard error, not failures.\n";

namespace {

/// The value of the option at `args[i]`, given as "NAME VALUE" (then `i` moves past it) or
/// "NAME=VALUE"; nullopt with `error` set when it is missing or empty.
std::optional<std::string> optionValue(const std::vector<std::string> &args, std::size_t &i,
                                       const std::string &name, std::string &error) {
    std::string value;
    if (args[i] == name) {
        if (i + 1 >= args.size()) {
            error = name + " needs a path";
            return std::nullopt;
        }
        value = args[++i];
    } else {
        value = args[i].substr(name.size() + 1);
    }
    if (value.empty()) {
        error = name + " needs a path";
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<Options> parseOptions(const std::vector<std::string> &args, std::string &error) {
    Options options;
    bool onlyInputs = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (onlyInputs || arg.empty() || arg[0] != '-' || arg == "-") {
            options.inputs.emplace_back(arg);
        } else if (arg == "--") {
            onlyInputs = true;
        } else if (arg == "--dry-run") {
            options.dryRun = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--overwrite") {
            options.overwrite = true;
        } else if (arg == "--require-originals") {
            options.requireOriginals = true;
        } else if (arg == "--no-log") {
            options.noLog = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--output" || arg.rfind("--output=", 0) == 0) {
            const auto value = optionValue(args, i, "--output", error);
            if (!value)
                return std::nullopt;
            if (options.output) {
                error = "--output is given twice";
                return std::nullopt;
            }
            options.output = *value;
        } else if (arg == "--originals" || arg.rfind("--originals=", 0) == 0) {
            const auto value = optionValue(args, i, "--originals", error);
            if (!value)
                return std::nullopt;
            options.originals.emplace_back(*value);
        } else {
            error = "unknown option " + arg;
            return std::nullopt;
        }
    }
    if (options.help || options.version)
        return options;
    if (options.inputs.empty()) {
        error = "no input given";
        return std::nullopt;
    }
    if (options.output && options.inputs.size() != 1) {
        error = "--output is allowed with exactly one input";
        return std::nullopt;
    }
    return options;
}

} // namespace tessaly::cli
