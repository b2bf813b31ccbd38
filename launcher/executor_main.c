#define _POSIX_C_SOURCE 200809L

#include "launcher/launcher_log.h"
#include "launcher/launcher_support.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

/* The preview agent's tools read the launcher's standard error from this fixed file. */
static const char agentStandardErrorPath[] = "/tmp/agent-stderr.txt";
static const char callbackName[] = "__debug_blank_executor_run_user_entry_point";

typedef void (*JitLinkEntryPoint)(int argc, char **argv, const char *relativePath,
                                  const char *callback);

static void redirectStandardErrorForAgent(void) {
    quorlanLog(QuorlanLogDefault, "Redirecting agent stderr to %{public}s", agentStandardErrorPath);
    quorlanPlatform()->redirectStandardError(agentStandardErrorPath);
    static const char separator[] = "\n================\n";
    fwrite(separator, 1, sizeof separator - 1, stderr);
    time_t now = time(NULL);
    struct tm local;
    if (localtime_r(&now, &local)) {
        printf("%04d-%02d-%02d %02d:%02d:%02d\n\n", local.tm_year + 1900, local.tm_mon + 1,
               local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
        // The application may never return to flush it, and a pipe keeps it buffered.
        fflush(stdout);
    }
}

static void giveAgentAChanceToLink(int argc, char **argv) {
    quorlanLog(QuorlanLogDebug, "Looking for Previews JIT link entry point.");
    void *address = quorlanPlatform()->lookupGlobal("__previews_injection_jit_link_entrypoint");
    if (!address) {
        quorlanLog(QuorlanLogDebug, "No Previews JIT entry point found.");
        return;
    }
    quorlanLog(QuorlanLogDebug, "Found Previews JIT link entry point.");
    JitLinkEntryPoint jitLink;
    memcpy(&jitLink, &address, sizeof jitLink);
    if (debugDylibRelativePath[0])
        jitLink(argc, argv, debugDylibRelativePath, callbackName);
    else
        jitLink(argc, argv, NULL, NULL);
    quorlanLog(QuorlanLogDebug, "PreviewsInjection request for JIT link returned.");
}

int __debug_blank_executor_main(int argc, char **argv) {
    quorlanCreateLog();
    if (quorlanPlatform()->getEnv("__PREVIEWS_AGENT_STUB_EXECUTOR_STDERR_REDIRECT"))
        redirectStandardErrorForAgent();
    quorlanLoadEmbeddedStrings();
    giveAgentAChanceToLink(argc, argv);
    quorlanLog(QuorlanLogDebug,
               "Gave PreviewsInjection a chance to run and it returned, continuing with debug "
               "dylib.");
    QuorlanEntryFunction entry = getDebugDylibEntryPoint();
    quorlanLog(QuorlanLogDebug, "Calling provided entry point.");
    return entry(argc, argv);
}

int __debug_blank_executor_run_user_entry_point(int argc, char **argv) {
    quorlanLog(QuorlanLogDebug, "__debug_blank_executor_run_user_entry_point called");
    if (!quorlanPlatform()->getEnv("__PREVIEWS_AGENT_SKIP_USER_ENTRY_POINT")) {
        QuorlanEntryFunction entry = getDebugDylibEntryPoint();
        quorlanLog(QuorlanLogDebug, "Calling provided entry point from Previews.");
        return entry(argc, argv);
    }
    quorlanLog(QuorlanLogDebug,
               "Skipping user entry point in favor of just keeping the process alive.");
    void *address = quorlanPlatform()->lookupGlobal("CFRunLoopRun");
    if (!address) {
        quorlanLog(QuorlanLogError, "Failed to find CFRunLoopRun.");
        abort_could_not_find_CFRunLoopRun___debug_dylib();
    }
    quorlanLog(QuorlanLogDebug, "Keeping the process alive by spinning a run loop.");
    void (*runLoopRun)(void);
    memcpy(&runLoopRun, &address, sizeof runLoopRun);
    runLoopRun();
    exit(-1);
}

int __previews_blank_executor_run_user_entry_point(int argc, char **argv) {
    return __debug_blank_executor_run_user_entry_point(argc, argv);
}
