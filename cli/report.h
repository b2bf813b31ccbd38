#pragma once

#include "engine/run/relink_run.h"

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::cli {

/// One input's run, as the command line reports it.
struct RunReport {
    RunRequest request;
    RunOutcome outcome;
};

/// The summary line and one line per change on `out`, or `INPUT: MESSAGE` on `err` (each further
/// line of the message indented); control characters come out escaped.
void printPlain(const RunReport &report, std::ostream &out, std::ostream &err);

/// `INPUT: warning: MESSAGE` on `err` for what went wrong in a run that succeeded all the same:
/// a change log that could not be written.
void printWarnings(const RunReport &report, std::ostream &err);

/// The JSON document for all runs, as one line. A byte of a name that is not UTF-8 is written
/// as \uDC80 to \uDCFF, which Python's os.fsencode turns back into that byte.
std::string jsonReport(const std::vector<RunReport> &reports);

/// `text` safe to print on a terminal: control characters, and the format characters that
/// reorder or break lines, as \xNN or \uNNNN escapes, a backslash as two, bytes that are not
/// UTF-8 as \xNN.
std::string escapedForTerminal(std::string_view text);

} // namespace tessaly::cli
