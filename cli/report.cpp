#include "cli/report.h"

#include <nlohmann/json.hpp>

namespace tessaly::cli {

namespace {

std::string counted(std::size_t count, const char *singular, const char *plural) {
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

/// The length of the UTF-8 sequence at the start of `text` and the code point it spells, or
/// 0 when it is not well-formed (overlong forms, surrogates and values past U+10FFFF included).
std::size_t decodeUTF8(std::string_view text, char32_t &codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    char32_t smallest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
        smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        smallest = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (byte(i) & 0x3F);
    }
    if (codePoint < smallest || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

/// C1 controls, and the invisible characters that reorder text or end a line on a terminal.
bool needsEscape(char32_t c) {
    return (c >= 0x80 && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

std::string hex(unsigned value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(std::size_t(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        text[std::size_t(i)] = kDigits[value & 0xF];
    return text;
}

std::string shown(const std::filesystem::path &path) {
    return escapedForTerminal(path.string());
}

/// The mark of a change whose original was not found: its candidates follow on lines of their
/// own when it is ambiguous.
std::string marked(const RelinkChange &change) {
    if (change.original == OriginalPlace::ambiguous)
        return " (ambiguous: " + std::to_string(change.candidates.size()) + " files)";
    return " (missing)";
}

nlohmann::ordered_json pathList(const std::vector<std::filesystem::path> &paths) {
    auto list = nlohmann::ordered_json::array();
    for (const auto &path : paths)
        list.push_back(path.string());
    return list;
}

} // namespace

std::string escapedForTerminal(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            out += "\\x" + hex(c, 2);
            ++i;
        } else if (c == '\\') {
            out += "\\\\";
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else {
            char32_t codePoint = 0;
            const std::size_t length = decodeUTF8(text.substr(i), codePoint);
            if (length == 0) {
                out += "\\x" + hex(c, 2);
                ++i;
            } else if (needsEscape(codePoint)) {
                out += "\\u" + hex(unsigned(codePoint), 4);
                i += length;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
        }
    }
    return out;
}

void printPlain(const RunReport &report, std::ostream &out, std::ostream &err) {
    const RunRequest &request = report.request;
    const RunOutcome &outcome = report.outcome;
    if (!outcome.result) {
        // Some messages are paragraphs; their lines are kept, indented, so that no line of a
        // message can pass for the report of another input.
        err << shown(request.input) << ": ";
        std::string_view message = outcome.errorMessage;
        for (auto end = message.find('\n'); end != std::string_view::npos;
             end = message.find('\n')) {
            err << escapedForTerminal(message.substr(0, end)) << '\n';
            message.remove_prefix(end + 1);
            if (!message.empty() && message.front() != '\n')
                err << "  ";
        }
        err << escapedForTerminal(message) << '\n';
        return;
    }
    const RelinkResult &result = *outcome.result;
    const std::string sources = counted(result.changes.size(), "clip source", "clip sources");
    const std::string formats = counted(result.orphanFormatsRemoved.size(), "format", "formats");
    std::string missing =
        counted(outcome.missingOriginals.value_or(0), "original missing", "originals missing");
    if (const std::size_t ambiguous = outcome.ambiguousOriginals.value_or(0))
        missing += ", " + counted(ambiguous, "original ambiguous", "originals ambiguous");
    if (request.dryRun) {
        out << shown(request.input) << ": preview, " << sources << " to relink, " << formats
            << " to remove, " << missing << ", would write " << shown(request.output) << '\n';
    } else {
        out << shown(request.input) << ": " << sources << " relinked, " << formats << " removed, "
            << missing << ", written to " << shown(outcome.written);
        if (!outcome.logPath.empty())
            out << " (change log " << shown(outcome.logPath) << ')';
        out << '\n';
    }
    for (const auto &change : result.changes) {
        out << escapedForTerminal(change.stem) << ": " << escapedForTerminal(change.oldSrc)
            << " \u2192 " << escapedForTerminal(change.newSrc)
            << (change.brawFound ? "" : marked(change)) << '\n';
        for (const auto &candidate : change.candidates)
            out << "  " << escapedForTerminal(candidate) << '\n';
    }
}

void printWarnings(const RunReport &report, std::ostream &err) {
    for (const std::string *warning : {&report.outcome.searchWarning, &report.outcome.logError}) {
        if (!warning->empty())
            err << shown(report.request.input) << ": warning: " << escapedForTerminal(*warning)
                << '\n';
    }
}

std::string jsonReport(const std::vector<RunReport> &reports) {
    using json = nlohmann::ordered_json;
    json runs = json::array();
    for (const auto &report : reports) {
        json run;
        run["input"] = report.request.input.string();
        // Null when the run ended before it could look.
        const auto count = [](const std::optional<std::size_t> &value) {
            return value ? json(*value) : json(nullptr);
        };
        const json missing = count(report.outcome.missingOriginals);
        const json ambiguous = count(report.outcome.ambiguousOriginals);
        const json log =
            report.outcome.logPath.empty() ? json(nullptr) : json(report.outcome.logPath.string());
        if (!report.outcome.result) {
            run["ok"] = false;
            run["error"] = report.outcome.errorMessage;
            run["missingOriginals"] = missing;
            run["ambiguousOriginals"] = ambiguous;
            run["searchFolders"] = pathList(report.outcome.searchFolders);
            run["unreadableFolders"] = pathList(report.outcome.unreadableFolders);
            run["log"] = nullptr;
            runs.push_back(std::move(run));
            continue;
        }
        const RelinkResult &result = *report.outcome.result;
        run["document"] = report.outcome.document.string();
        run["output"] =
            report.request.dryRun ? json(nullptr) : json(report.outcome.written.string());
        run["log"] = log;
        run["dryRun"] = report.request.dryRun;
        run["ok"] = true;
        json changes = json::array();
        for (const auto &change : result.changes) {
            json entry = {{"stem", change.stem},
                          {"oldSrc", change.oldSrc},
                          {"newSrc", change.newSrc},
                          {"oldAssetID", change.oldAssetID},
                          {"newAssetID", change.newAssetID},
                          {"brawFound", change.brawFound},
                          {"original", originalPlaceName(change.original)}};
            if (change.original == OriginalPlace::ambiguous)
                entry["candidates"] = change.candidates;
            changes.push_back(std::move(entry));
        }
        run["changes"] = std::move(changes);
        run["missingOriginals"] = missing;
        run["ambiguousOriginals"] = ambiguous;
        run["searchFolders"] = pathList(report.outcome.searchFolders);
        run["unreadableFolders"] = pathList(report.outcome.unreadableFolders);
        run["brawFormat"] = json(result.brawFormat);
        run["orphanFormatsRemoved"] = result.orphanFormatsRemoved;
        runs.push_back(std::move(run));
    }
    // Paths taken from a document need not be valid UTF-8; replace what is not rather than fail.
    return json{{"runs", std::move(runs)}}.dump(-1, ' ', false, json::error_handler_t::replace);
}

} // namespace tessaly::cli
