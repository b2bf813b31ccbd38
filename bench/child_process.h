#pragma once

#include <string>
#include <vector>

namespace tessaly::bench {

/// How one child process ran.
struct ChildRun {
    double seconds = 0;      ///< wall time from fork to reaped exit
    double cpuSeconds = 0;   ///< user + system time: steadier than wall time on a busy machine
    double peakRssMiB = 0;   ///< the child's ru_maxrss as reported by wait4
    int exitStatus = -1;     ///< the exit code, or -1 when it did not exit normally
    std::string errorOutput; ///< what the child wrote to standard error
};

/// Runs `argv` (argv[0] looked up in PATH) with standard output discarded and waits for it.
/// Keep the calling process small: Linux folds the parent's resident size at fork into the
/// child's ru_maxrss.
ChildRun runMeasured(const std::vector<std::string> &argv);

} // namespace tessaly::bench
