#pragma once

#include "engine/relink/relink_records.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

/// What a change log says about its run beyond the result itself.
struct ChangeLogHeader {
    std::string program;        ///< the program and its version, e.g. "Tessaly 1.2.0"
    std::string dateTime;       ///< local date and time with the UTC offset (see localDateTime)
    std::string input;          ///< the path the user chose to relink
    std::string output;         ///< the path written
    std::string bundleDocument; ///< the document inside a bundle; empty for a single document
    std::vector<std::string> searchFolders = {}; ///< where originals were searched for, absolute
    /// The document written, as bytes and their SHA-256 in lower-case hex, so that a log can
    /// be matched to the document beside it; the digest empty when unknown.
    std::uint64_t documentSize = 0;
    std::string documentSHA256;
};

/// The program line of a log written by this build: "Tessaly" and the project's version.
std::string changeLogProgram();

/// `when` in local time as ISO 8601 with its UTC offset, e.g. "2026-12-07T14:03:09+01:00".
std::string localDateTime(std::time_t when);

/// The same for a broken-down time and its offset east of UTC in seconds.
std::string formatDateTime(const std::tm &local, long utcOffsetSeconds);

/// The whole UTF-8 text of a change log: a header of "Name:<TAB>value" lines (the search
/// folders' line holds one value per folder, tab-separated, or "none"), a blank line, a
/// tab-separated table of the changes under a heading row (the last column reads found,
/// missing or ambiguous), a blank line and the removed format ids under their heading; then,
/// when a change is ambiguous, a blank line and one "stem<TAB>file" row per candidate. Every
/// value has its backslashes and control characters escaped (\\, \t, \n, \r, \xHH), so a
/// line is a line and a tab separates fields, and the text is UTF-8 whatever bytes a name holds.
std::string changeLogText(const ChangeLogHeader &header, const RelinkResult &result);

/// A value as the log writes it: `\` as `\\`, tab, line feed and carriage return as `\t`, `\n`,
/// `\r`, any other control character and every byte that is not part of well-formed UTF-8 as
/// `\xHH`; everything else unchanged.
std::string changeLogField(std::string_view value);

} // namespace tessaly
