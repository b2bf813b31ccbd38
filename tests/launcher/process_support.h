#pragma once

#include "support/child_process.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tessaly::testing {

/// Runs `argv` to its end with the test's environment, less the launcher's own variables (a
/// test run under the preview agent must not hand it on), plus `environment`.
inline ChildRun runProcess(std::vector<std::string> argv,
                           std::map<std::string, std::string> environment) {
    return runChild(std::move(argv),
                    {.environment = std::move(environment),
                     .withoutVariables = {"__PREVIEWS_", "TESSALY_", "LD_PRELOAD="}});
}

} // namespace tessaly::testing
