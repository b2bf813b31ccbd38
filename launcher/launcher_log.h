#pragma once

/* The launcher's log handle: one subsystem and category, levels chosen by the environment. */

#include "launcher/platform.h"

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/// Environment variable naming the enabled levels and destinations, e.g. "debug,stderr".
#define QUORLAN_LOG_VARIABLE "TESSALY_LAUNCHER_LOG"

/// Which levels are written and whether lines are also copied to standard error.
typedef struct QuorlanLogSettings {
    unsigned enabledLevels; /* bit (1 << QuorlanLogLevel) per enabled level */
    int copyToStandardError;
} QuorlanLogSettings;

/// Reads a comma-separated setting: "debug", "default", "error" or "off" pick the least severe
/// level written, "stderr" adds a copy on standard error; null or empty means "default".
QuorlanLogSettings quorlanParseLogSettings(const char *value);

/// Creates the log handle from the current platform's environment, replacing any earlier one.
void quorlanCreateLog(void);

/// Whether lines of `level` are written; creates the log handle first when there is none.
int quorlanLogEnabled(QuorlanLogLevel level);

/// Writes one line of `level` when that level is enabled. `format` is printf's, where a
/// privacy annotation after the percent sign ("%{public}s") is accepted and dropped.
void quorlanLog(QuorlanLogLevel level, const char *format, ...);

/// Copies `format` into `out` (of `size` bytes, NUL-terminated) without privacy annotations.
void quorlanPlainFormat(const char *format, char *out, size_t size);

#ifdef __cplusplus
}
#endif
