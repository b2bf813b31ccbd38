#pragma once

/* The system's log: the systemd journal when it takes our lines, syslog otherwise. */

#include "launcher/platform.h"

/// Writes `text` at `level` with `subsystem` and `category` attached.
void quorlanSystemLog(QuorlanLogLevel level, const char *subsystem, const char *category,
                      const char *text);
