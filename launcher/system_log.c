#define _GNU_SOURCE

#include "launcher/system_log.h"

#include <dlfcn.h>
#include <errno.h>
#include <string.h>
#include <syslog.h>

typedef int (*JournalSend)(const char *format, ...);

/* The launcher links nothing but the C library and libdl, so the journal's client is loaded
 * only once there is a line to write, and only if the system has it. */
static JournalSend journalSend(void) {
    static int tried;
    static JournalSend send;
    if (!tried) {
        tried = 1;
        void *library = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
        void *address = library ? dlsym(library, "sd_journal_send") : NULL;
        memcpy(&send, &address, sizeof send);
    }
    return send;
}

static int priorityOf(QuorlanLogLevel level) {
    switch (level) {
    case QuorlanLogDebug:
        return LOG_DEBUG;
    case QuorlanLogDefault:
        return LOG_NOTICE;
    case QuorlanLogError:
        return LOG_ERR;
    }
    return LOG_NOTICE;
}

void quorlanSystemLog(QuorlanLogLevel level, const char *subsystem, const char *category,
                      const char *text) {
    static int journalRefused;
    int priority = priorityOf(level);
    JournalSend send = journalRefused ? NULL : journalSend();
    if (send) {
        if (send("MESSAGE=%s", text, "PRIORITY=%d", priority, "SYSLOG_IDENTIFIER=%s",
                 program_invocation_short_name, "SUBSYSTEM=%s", subsystem, "CATEGORY=%s", category,
                 (const char *)NULL) >= 0)
            return;
        // No journal to talk to (a container, a system without systemd): stay with syslog.
        journalRefused = 1;
    }
    static int opened;
    if (!opened) {
        opened = 1;
        openlog(program_invocation_short_name, LOG_PID, LOG_USER);
    }
    syslog(priority, "[%s:%s] %s", subsystem, category, text);
}
