#include "cli/options.h"
#include "cli/report.h"
#include "engine/run/relink_run.h"
#include "engine/version.h"

#include <iostream>

using namespace tessaly;

int main(int argc, char **argv) {
    std::string error;
    const auto options = cli::parseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::cerr << "tessaly-relink: " << error << "\n\n" << cli::kUsage;
        return 2;
    }
    if (options->help) {
        std::cout << cli::kUsage;
        return 0;
    }
    if (options->version) {
        std::cout << "tessaly-relink " << kVersion << '\n';
        return 0;
    }

    std::vector<cli::RunReport> reports;
    for (const auto &input : options->inputs) {
        cli::RunReport report{input,
                              options->output.value_or(RelinkRun::defaultOutputLocation(input)),
                              options->dryRun,
                              {},
                              {}};
        report.outcome =
            RelinkRun::perform(report.input, report.output, report.dryRun, &report.document);
        if (!options->json)
            cli::printPlain(report, std::cout, std::cerr);
        reports.push_back(std::move(report));
    }
    if (options->json)
        std::cout << cli::jsonReport(reports) << '\n';

    for (const auto &report : reports) {
        if (!report.outcome.result)
            return 1;
    }
    return 0;
}
