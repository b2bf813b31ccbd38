/* A stand-in for the development environment's preview agent, preloaded into the launcher by
 * the process tests. It says on standard output what it was asked, and the environment tells it
 * what to do:
 *   TESSALY_TEST_AGENT_CALL      the name of a function to call with the launcher's arguments,
 *                                exiting with its result; unset or empty: return, so the
 *                                launcher goes on by itself. */

#define _GNU_SOURCE

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

__attribute__((visibility("default"))) void
__previews_injection_jit_link_entrypoint(int argc, char **argv, const char *relativePath,
                                         const char *callback) {
    printf("agent: jit link argc=%d path=%s callback=%s\n", argc,
           relativePath ? relativePath : "(null)", callback ? callback : "(null)");
    fflush(stdout);
    const char *name = getenv("TESSALY_TEST_AGENT_CALL");
    if (!name || !*name)
        return;
    void *address = dlsym(RTLD_DEFAULT, name);
    if (!address) {
        printf("agent: no %s\n", name);
        exit(99);
    }
    int (*function)(int, char **);
    memcpy(&function, &address, sizeof function);
    exit(function(argc, argv));
}

/* Runs until standard input ends: the test holds the process alive by keeping the pipe open. */
__attribute__((visibility("default"))) void CFRunLoopRun(void) {
    printf("agent: run loop running\n");
    fflush(stdout);
    char buffer[256];
    while (read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    printf("agent: run loop stopped\n");
    fflush(stdout);
}
