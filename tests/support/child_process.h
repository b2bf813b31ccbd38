#pragma once

#include "support/temp_dir.h"

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace tessaly::testing {

/// How a program is started beyond its arguments.
struct ChildOptions {
    rlim_t fileSizeLimit = RLIM_INFINITY;     ///< bytes any one file may reach
    rlim_t addressSpaceLimit = RLIM_INFINITY; ///< bytes of memory it may map in all
    bool asNobody = false;                    ///< without root's rights, which ignore permissions
    bool outputToFull = false;                ///< standard output on /dev/full
    bool outputToClosedPipe = false;          ///< standard output a pipe nobody reads
    std::filesystem::path workingFolder = {}; ///< the folder it starts in; this one's when empty
};

/// How a child process ended and what it wrote.
struct ChildRun {
    int status = -1; ///< the exit status; -1 when a signal ended it, -2 when it had to be killed
    std::string out;
    std::string err;
};

/// Runs `argv` (argv[0] a path, not looked up) to its end with standard input empty, and kills
/// it when it is still running after 30 seconds.
inline ChildRun runChild(std::vector<std::string> argv, const ChildOptions &options = {}) {
    std::vector<char *> argp;
    for (std::string &arg : argv)
        argp.push_back(arg.data());
    argp.push_back(nullptr);

    // Files rather than pipes: the child may write any amount to both without waiting on us.
    TempDir outputs;
    const std::filesystem::path out = outputs / "out", err = outputs / "err";
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int inFd = ::open("/dev/null", O_RDONLY);
        int outFd = ::open(options.outputToFull ? "/dev/full" : out.c_str(),
                           O_WRONLY | O_CREAT | O_TRUNC, 0600);
        // Its reader gone before the child starts, whatever the timing: every write fails.
        int pipeEnds[2];
        if (options.outputToClosedPipe)
            outFd = ::pipe(pipeEnds) == 0 && ::close(pipeEnds[0]) == 0 ? pipeEnds[1] : -1;
        const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (inFd < 0 || outFd < 0 || errFd < 0 || ::dup2(inFd, STDIN_FILENO) < 0 ||
            ::dup2(outFd, STDOUT_FILENO) < 0 || ::dup2(errFd, STDERR_FILENO) < 0)
            ::_exit(125);
        if (!options.workingFolder.empty() && ::chdir(options.workingFolder.c_str()) != 0)
            ::_exit(124);
        const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const rlimit memory{options.addressSpaceLimit, options.addressSpaceLimit};
        ::setrlimit(RLIMIT_AS, &memory);
        if (options.asNobody) {
            const passwd *nobody = ::getpwnam("nobody");
            if (!nobody || ::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 ||
                ::setuid(nobody->pw_uid) != 0)
                ::_exit(126);
        }
        ::execve(argp[0], argp.data(), environ);
        ::_exit(127);
    }
    int raw = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    // Until this child is reaped: an interrupted wait only tries again.
    while (::waitpid(pid, &raw, WNOHANG) != pid) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &raw, 0);
            return {-2, {}, "(still running after 30 s)"};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(out), readFile(err)};
}

} // namespace tessaly::testing
