#pragma once

#include <map>
#include <string>
#include <vector>

namespace tessaly::testing {

/// How a child process ended and what it wrote.
struct ProcessResult {
    int exitCode = -1; // -1 when a signal ended it
    int signal = 0;
    std::string out;
    std::string err;
};

/// Runs `argv` to its end with standard input empty and the test's environment, less the
/// launcher's own variables, plus `environment`.
ProcessResult runProcess(const std::vector<std::string> &argv,
                         const std::map<std::string, std::string> &environment);

} // namespace tessaly::testing
