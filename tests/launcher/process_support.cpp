#include "process_support.h"

#include "support/temp_dir.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace tessaly::testing {
namespace {

bool isLaunchersOwn(const std::string &entry) {
    return entry.rfind("__PREVIEWS_", 0) == 0 || entry.rfind("TESSALY_", 0) == 0 ||
           entry.rfind("LD_PRELOAD=", 0) == 0;
}

std::vector<char *> pointers(std::vector<std::string> &texts) {
    std::vector<char *> result;
    for (std::string &text : texts)
        result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

} // namespace

ProcessResult runProcess(const std::vector<std::string> &argv,
                         const std::map<std::string, std::string> &environment) {
    std::vector<std::string> entries;
    for (char **e = environ; *e; ++e) {
        if (!isLaunchersOwn(*e))
            entries.emplace_back(*e);
    }
    for (const auto &[name, value] : environment)
        entries.push_back(name + "=" + value);
    std::vector<std::string> args = argv;
    std::vector<char *> envp = pointers(entries);
    std::vector<char *> argp = pointers(args);

    // Files rather than pipes: the child may write any amount to both without waiting on us.
    TempDir outputs;
    const std::filesystem::path outFile = outputs / "out", errFile = outputs / "err";
    pid_t pid = fork();
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || dup2(in, STDIN_FILENO) < 0 ||
            dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0)
            _exit(125);
        execve(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ProcessResult result;
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    result.out = readFile(outFile);
    result.err = readFile(errFile);
    return result;
}

} // namespace tessaly::testing
