#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <sys/types.h>

namespace tessaly::testing {

/// How a child process ended and what it wrote.
struct ProcessResult {
    int exitCode = -1; // -1 when a signal ended it
    int signal = 0;
    std::string out;
    std::string err;
};

/// A child process started from `argv` with the test's environment, less the launcher's own
/// variables, plus `environment`. Standard error goes to a file, standard output to a pipe the
/// test reads; standard input is a pipe the test holds open until `closeInput`.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string> &argv,
                 const std::map<std::string, std::string> &environment,
                 const std::filesystem::path &workingDirectory = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    /// The next line of standard output without its newline; empty at the end.
    std::string readLine();
    /// Ends standard input.
    void closeInput();
    /// Waits for the end, closing standard input first, and collects the rest of the output.
    ProcessResult wait();

private:
    pid_t m_pid = -1;
    int m_input = -1;
    int m_output = -1;
    std::filesystem::path m_errorFile;
    std::string m_outputSoFar;
};

/// Runs `argv` to its end with standard input closed at once.
ProcessResult runProcess(const std::vector<std::string> &argv,
                         const std::map<std::string, std::string> &environment,
                         const std::filesystem::path &workingDirectory = {});

/// The lines of `text`.
std::vector<std::string> lines(const std::string &text);

} // namespace tessaly::testing
