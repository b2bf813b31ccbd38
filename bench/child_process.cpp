#include "bench/child_process.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessaly::bench {

ChildRun runMeasured(const std::vector<std::string> &argv) {
    ChildRun run;
    std::FILE *errors = std::tmpfile();
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);

    auto started = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDOUT_FILENO);
        if (errors)
            dup2(fileno(errors), STDERR_FILENO);
        execvp(args[0], args.data());
        std::perror(args[0]);
        _exit(127);
    }
    if (pid < 0) {
        run.errorOutput = "fork failed";
        return run;
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.peakRssMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (errors) {
        std::rewind(errors);
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, errors)) > 0 &&
               run.errorOutput.size() < 65536)
            run.errorOutput.append(buffer, n);
        std::fclose(errors);
    }
    return run;
}

} // namespace tessaly::bench
