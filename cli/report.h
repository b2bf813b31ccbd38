#pragma once

#include "engine/run/relink_run.h"

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace tessaly::cli {

/// One input's run, as the command line reports it.
struct RunReport {
    std::filesystem::path input;
    std::filesystem::path output;
    bool dryRun = false;
    std::filesystem::path document; ///< the .fcpxml that was read; empty when none was reached
    RelinkRun::Outcome outcome;
};

/// The summary line and one line per change on `out`, or `INPUT: MESSAGE` on `err`.
void printPlain(const RunReport &report, std::ostream &out, std::ostream &err);

/// The JSON document for all runs, as one line.
std::string jsonReport(const std::vector<RunReport> &reports);

} // namespace tessaly::cli
