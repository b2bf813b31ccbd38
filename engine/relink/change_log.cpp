#include "engine/relink/change_log.h"

#include "engine/version.h"
#include "engine/xml/text.h"

#include <cstdio>
#include <cstdlib>

namespace tessaly {

std::string changeLogProgram() {
    return "Tessaly " + std::string(kVersion);
}

std::string localDateTime(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return formatDateTime(local, local.tm_gmtoff);
}

std::string formatDateTime(const std::tm &local, long utcOffsetSeconds) {
    const long offsetMinutes = std::labs(utcOffsetSeconds) / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, utcOffsetSeconds < 0 ? '-' : '+', offsetMinutes / 60,
                  offsetMinutes % 60);
    return text;
}

std::string changeLogField(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char ch = value[i];
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80) {
            char32_t codePoint = 0;
            const std::size_t length = xml::decodeUtf8(value.substr(i), codePoint);
            if (length == 0) {
                out += "\\x";
                out.push_back(kHex[c >> 4]);
                out.push_back(kHex[c & 0x0F]);
            } else {
                out.append(value.substr(i, length));
                i += length - 1;
            }
            continue;
        }
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\x";
                out.push_back(kHex[c >> 4]);
                out.push_back(kHex[c & 0x0F]);
            } else {
                out.push_back(ch);
            }
        }
    }
    return out;
}

std::string changeLogText(const ChangeLogHeader &header, const RelinkResult &result) {
    std::size_t missing = 0, ambiguous = 0;
    for (const auto &change : result.changes) {
        const bool isAmbiguous = change.original == OriginalPlace::ambiguous;
        missing += change.brawFound || isAmbiguous ? 0 : 1;
        ambiguous += isAmbiguous ? 1 : 0;
    }

    std::string text;
    auto line = [&text](std::string_view name, std::string_view value) {
        text.append(name).append(":\t").append(changeLogField(value)).push_back('\n');
    };
    line("Program", header.program);
    line("Date", header.dateTime);
    line("Input", header.input);
    if (!header.bundleDocument.empty())
        line("Document in bundle", header.bundleDocument);
    line("Output", header.output);
    if (!header.documentSHA256.empty()) {
        line("Document size", std::to_string(header.documentSize));
        line("Document SHA-256", header.documentSHA256);
    }
    text += "Search folders:";
    for (const auto &folder : header.searchFolders)
        text.append("\t").append(changeLogField(folder));
    text += header.searchFolders.empty() ? "\tnone\n" : "\n";
    line("Clip sources relinked", std::to_string(result.changes.size()));
    line("Originals missing", std::to_string(missing));
    line("Originals ambiguous", std::to_string(ambiguous));
    line("Formats removed", std::to_string(result.orphanFormatsRemoved.size()));
    line("Reference .braw format",
         result.brawFormatID.empty() ? "none (every format left as it was)" : result.brawFormatID);

    text += "\nstem\told path\tnew path\told id\tnew id\toriginal\n";
    for (const auto &change : result.changes) {
        for (const std::string *field :
             {&change.stem, &change.oldSrc, &change.newSrc, &change.oldAssetID, &change.newAssetID})
            text.append(changeLogField(*field)).push_back('\t');
        text.append(change.brawFound                              ? "found"
                    : change.original == OriginalPlace::ambiguous ? "ambiguous"
                                                                  : "missing")
            .push_back('\n');
    }

    text += "\nremoved format\n";
    for (const auto &format : result.orphanFormatsRemoved)
        text.append(changeLogField(format)).push_back('\n');

    if (ambiguous > 0) {
        text += "\nambiguous stem\tcandidate\n";
        for (const auto &change : result.changes) {
            for (const auto &candidate : change.candidates)
                text.append(changeLogField(change.stem))
                    .append("\t")
                    .append(changeLogField(candidate))
                    .push_back('\n');
        }
    }
    return text;
}

} // namespace tessaly
