#include "cli/report.h"

#include "engine/xml/text.h"

#include <nlohmann/json.hpp>

namespace tessaly::cli {

namespace {

std::string counted(std::size_t count, const char *singular, const char *plural) {
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
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
std::string originalMark(const RelinkChange &change) {
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

// JSON text is Unicode, while a file name is any bytes. A byte that is not part of well-formed
// UTF-8 is written as the lone surrogate \uDC80 to \uDCFF, as Python's "surrogateescape" does,
// so that a script gets the very name back (os.fsencode). The serialiser writes only UTF-8, so
// such a byte travels through it as a marker, the noncharacter U+FDD0 and "x" with two hex
// digits, and a U+FDD0 of the text itself as the marker and "u"; the markers are replaced in
// the serialised text.
constexpr std::string_view kMarker = "\xEF\xB7\x90"; // U+FDD0

std::string marked(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t codePoint = 0;
        const std::size_t length = xml::decodeUtf8(text.substr(i), codePoint);
        if (length == 0) {
            out.append(kMarker).append("x" + hex(static_cast<unsigned char>(text[i]), 2));
            ++i;
        } else if (codePoint == 0xFDD0) {
            out.append(kMarker).push_back('u');
            i += length;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

void markStrings(nlohmann::ordered_json &value) {
    if (value.is_string())
        value = marked(value.get_ref<const std::string &>());
    else if (value.is_structured())
        for (auto &item : value)
            markStrings(item);
}

std::string unmarked(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto found = text.find(kMarker, i);
        if (found == std::string_view::npos) {
            out.append(text.substr(i));
            break;
        }
        out.append(text.substr(i, found - i));
        i = found + kMarker.size();
        if (text[i] == 'u') {
            out.append(kMarker);
            i += 1;
        } else {
            out.append("\\uDC").append(text.substr(i + 1, 2));
            i += 3;
        }
    }
    return out;
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
            const std::size_t length = xml::decodeUtf8(text.substr(i), codePoint);
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
            << (change.brawFound ? "" : originalMark(change)) << '\n';
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
    json report{{"runs", std::move(runs)}};
    markStrings(report);
    return unmarked(report.dump(-1, ' ', false));
}

} // namespace tessaly::cli
