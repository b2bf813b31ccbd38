#include "cli/report.h"

#include <nlohmann/json.hpp>

namespace tessaly::cli {

namespace {

std::string counted(std::size_t count, const char *singular, const char *plural) {
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

} // namespace

void printPlain(const RunReport &report, std::ostream &out, std::ostream &err) {
    const auto &outcome = report.outcome;
    if (!outcome.result) {
        err << report.input.string() << ": " << outcome.errorMessage << '\n';
        return;
    }
    const RelinkResult &result = *outcome.result;
    const std::string sources = counted(result.changes.size(), "clip source", "clip sources");
    const std::string formats = counted(result.orphanFormatsRemoved.size(), "format", "formats");
    if (report.dryRun) {
        out << report.input.string() << ": preview, " << sources << " to relink, " << formats
            << " to remove, would write " << report.output.string() << '\n';
    } else {
        out << report.input.string() << ": " << sources << " relinked, " << formats
            << " removed, written to " << report.output.string() << '\n';
    }
    for (const auto &change : result.changes)
        out << change.stem << ": " << change.oldSrc << " \u2192 " << change.newSrc << '\n';
}

std::string jsonReport(const std::vector<RunReport> &reports) {
    using json = nlohmann::ordered_json;
    json runs = json::array();
    for (const auto &report : reports) {
        json run;
        run["input"] = report.input.string();
        if (!report.outcome.result) {
            run["ok"] = false;
            run["error"] = report.outcome.errorMessage;
            runs.push_back(std::move(run));
            continue;
        }
        const RelinkResult &result = *report.outcome.result;
        run["document"] = report.document.string();
        run["output"] = report.dryRun ? json(nullptr) : json(report.output.string());
        run["dryRun"] = report.dryRun;
        run["ok"] = true;
        json changes = json::array();
        for (const auto &change : result.changes) {
            changes.push_back({{"stem", change.stem},
                               {"oldSrc", change.oldSrc},
                               {"newSrc", change.newSrc},
                               {"oldAssetID", change.oldAssetID},
                               {"newAssetID", change.newAssetID}});
        }
        run["changes"] = std::move(changes);
        run["brawFormat"] = json(result.brawFormat);
        run["orphanFormatsRemoved"] = result.orphanFormatsRemoved;
        runs.push_back(std::move(run));
    }
    // Paths taken from a document need not be valid UTF-8; replace what is not rather than fail.
    return json{{"runs", std::move(runs)}}.dump(-1, ' ', false, json::error_handler_t::replace);
}

} // namespace tessaly::cli
