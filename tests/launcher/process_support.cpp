#include "process_support.h"

#include "support/temp_dir.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace tessaly::testing {
namespace {

bool isLaunchersOwn(const std::string &entry) {
    return entry.rfind("__PREVIEWS_", 0) == 0 || entry.rfind("TESSALY_", 0) == 0 ||
           entry.rfind("LD_PRELOAD=", 0) == 0;
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string> &argv,
                           const std::map<std::string, std::string> &environment,
                           const std::filesystem::path &workingDirectory) {
    std::vector<std::string> entries;
    for (char **e = environ; *e; ++e) {
        if (!isLaunchersOwn(*e))
            entries.emplace_back(*e);
    }
    for (const auto &[name, value] : environment)
        entries.push_back(name + "=" + value);
    std::vector<char *> envp;
    for (std::string &entry : entries)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char *> argp;
    for (std::string &arg : args)
        argp.push_back(arg.data());
    argp.push_back(nullptr);

    std::random_device random;
    m_errorFile =
        std::filesystem::temp_directory_path() /
        ("tessaly-launcher-stderr-" + std::to_string(random()) + std::to_string(random()));
    int input[2], output[2];
    if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    int error = open(m_errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    m_pid = fork();
    if (m_pid == 0) {
        dup2(input[0], STDIN_FILENO);
        dup2(output[1], STDOUT_FILENO);
        dup2(error, STDERR_FILENO);
        if (!workingDirectory.empty() && chdir(workingDirectory.c_str()) != 0)
            _exit(126);
        execve(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    close(input[0]);
    close(output[1]);
    close(error);
    m_input = input[1];
    m_output = output[0];
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        wait();
    }
    std::error_code ignored;
    std::filesystem::remove(m_errorFile, ignored);
}

std::string ChildProcess::readLine() {
    for (;;) {
        std::size_t newline = m_outputSoFar.find('\n');
        if (newline != std::string::npos) {
            std::string line = m_outputSoFar.substr(0, newline);
            m_outputSoFar.erase(0, newline + 1);
            return line;
        }
        char buffer[4096];
        ssize_t count = read(m_output, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            std::string rest;
            rest.swap(m_outputSoFar);
            return rest;
        }
        m_outputSoFar.append(buffer, static_cast<std::size_t>(count));
    }
}

void ChildProcess::closeInput() {
    if (m_input >= 0)
        close(m_input);
    m_input = -1;
}

ProcessResult ChildProcess::wait() {
    ProcessResult result;
    closeInput();
    char buffer[4096];
    ssize_t count;
    while ((count = read(m_output, buffer, sizeof buffer)) != 0) {
        if (count < 0 && errno != EINTR)
            break;
        if (count > 0)
            m_outputSoFar.append(buffer, static_cast<std::size_t>(count));
    }
    close(m_output);
    result.out.swap(m_outputSoFar);
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    result.err = readFile(m_errorFile);
    return result;
}

ProcessResult runProcess(const std::vector<std::string> &argv,
                         const std::map<std::string, std::string> &environment,
                         const std::filesystem::path &workingDirectory) {
    ChildProcess child(argv, environment, workingDirectory);
    return child.wait();
}

std::vector<std::string> lines(const std::string &text) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        result.push_back(line);
    return result;
}

} // namespace tessaly::testing
