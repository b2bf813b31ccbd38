#include "cli/options.h"
#include "cli/report.h"
#include "engine/run/relink_run.h"
#include "engine/version.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

using namespace tessaly;

namespace {

/// Whatever reached standard output is out of this process; false when any of it was lost.
bool standardOutputWritten() {
    errno = 0;
    std::cout.flush();
    const bool flushed = std::cout && std::fflush(stdout) == 0 && !std::ferror(stdout);
    if (flushed)
        return true;
    const int error = errno;
    std::cerr << "tessaly-relink: the report could not be written to standard output"
              << (error ? std::string(": ") + std::strerror(error) : std::string()) << ".\n";
    return false;
}

} // namespace

int main(int argc, char **argv) {
    // A write past a file-size limit must fail with EFBIG, which the run reports as a full
    // disk and cleans up after, rather than end the process.
    std::signal(SIGXFSZ, SIG_IGN);
    // A reader that goes away (`| head -1`) makes the report's writes fail, which is reported
    // once every input has run, rather than end the process part way.
    std::signal(SIGPIPE, SIG_IGN);
    RelinkRun::abandonRunsOnSignals();

    std::string error;
    const auto options = cli::parseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::cerr << "tessaly-relink: " << error << "\n\n" << cli::kUsage;
        return 2;
    }
    if (options->help) {
        std::cout << cli::kUsage;
        return standardOutputWritten() ? 0 : 1;
    }
    if (options->version) {
        std::cout << "tessaly-relink " << kVersion << '\n';
        return standardOutputWritten() ? 0 : 1;
    }

    std::vector<cli::RunReport> reports;
    bool allSucceeded = true;
    for (const auto &input : options->inputs) {
        RunRequest request;
        request.input = input;
        request.output = options->output.value_or(RelinkRun::defaultOutputLocation(input));
        request.dryRun = options->dryRun;
        request.replaceExisting = options->overwrite;
        request.requireOriginals = options->requireOriginals;
        request.searchFolders = options->originals;
        request.writeLog = !options->noLog;
        // A preview says what the apply would do, refusals included.
        request.checkOutput = true;
        for (const auto &other : options->inputs) {
            if (&other != &input)
                request.otherInputs.push_back(other);
        }
        RunOutcome outcome = RelinkRun::perform(request);
        if (outcome.outputExists)
            outcome.errorMessage += " Give --overwrite to replace it.";
        if (outcome.logExists)
            outcome.logError += " Give --overwrite to replace it.";
        allSucceeded = allSucceeded && outcome.succeeded();
        cli::RunReport report{std::move(request), std::move(outcome)};
        if (!options->json)
            cli::printPlain(report, std::cout, std::cerr);
        cli::printWarnings(report, std::cerr);
        reports.push_back(std::move(report));
    }
    if (options->json)
        std::cout << cli::jsonReport(reports) << '\n';
    const bool reported = standardOutputWritten();
    return allSucceeded && reported ? 0 : 1;
}
