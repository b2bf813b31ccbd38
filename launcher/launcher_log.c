#include "launcher/launcher_log.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

typedef struct QuorlanLogHandle {
    const char *subsystem;
    const char *category;
    QuorlanLogSettings settings;
} QuorlanLogHandle;

static QuorlanLogHandle loggerStorage;
static const QuorlanLogHandle *logger;

static unsigned levelsFrom(QuorlanLogLevel least) {
    unsigned levels = 0;
    for (int level = (int)least; level <= (int)QuorlanLogError; ++level)
        levels |= 1u << level;
    return levels;
}

static int wordIs(const char *word, size_t length, const char *name) {
    return strlen(name) == length && strncasecmp(word, name, length) == 0;
}

QuorlanLogSettings quorlanParseLogSettings(const char *value) {
    QuorlanLogSettings settings = {levelsFrom(QuorlanLogDefault), 0};
    if (!value)
        return settings;
    const char *word = value;
    while (*word) {
        size_t length = strcspn(word, ",");
        if (wordIs(word, length, "debug"))
            settings.enabledLevels = levelsFrom(QuorlanLogDebug);
        else if (wordIs(word, length, "default"))
            settings.enabledLevels = levelsFrom(QuorlanLogDefault);
        else if (wordIs(word, length, "error"))
            settings.enabledLevels = levelsFrom(QuorlanLogError);
        else if (wordIs(word, length, "off"))
            settings.enabledLevels = 0;
        else if (wordIs(word, length, "stderr"))
            settings.copyToStandardError = 1;
        word += length;
        if (*word == ',')
            ++word;
    }
    return settings;
}

void quorlanCreateLog(void) {
    loggerStorage.subsystem = "com.corvane.Previews.StubExecutor";
    loggerStorage.category = "PreviewsAgentExecutorLibrary";
    loggerStorage.settings =
        quorlanParseLogSettings(quorlanPlatform()->getEnv(QUORLAN_LOG_VARIABLE));
    logger = &loggerStorage;
}

int quorlanLogEnabled(QuorlanLogLevel level) {
    // The agent may call an exported function before the process entry has created the handle.
    if (!logger)
        quorlanCreateLog();
    return (logger->settings.enabledLevels & (1u << level)) != 0;
}

void quorlanPlainFormat(const char *format, char *out, size_t size) {
    if (size == 0)
        return;
    size_t used = 0;
    for (const char *p = format; *p && used + 1 < size; ++p) {
        out[used++] = *p;
        if (*p != '%')
            continue;
        if (p[1] == '%') {
            if (used + 1 < size)
                out[used++] = '%';
            ++p;
        } else if (p[1] == '{') {
            const char *close = strchr(p + 1, '}');
            if (close)
                p = close;
        }
    }
    out[used] = '\0';
}

static const char *levelName(QuorlanLogLevel level) {
    switch (level) {
    case QuorlanLogDebug:
        return "debug";
    case QuorlanLogDefault:
        return "default";
    case QuorlanLogError:
        return "error";
    }
    return "?";
}

void quorlanLog(QuorlanLogLevel level, const char *format, ...) {
    if (!quorlanLogEnabled(level))
        return;
    char plain[512];
    quorlanPlainFormat(format, plain, sizeof plain);
    char text[4096];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(text, sizeof text, plain, arguments);
    va_end(arguments);

    quorlanPlatform()->log(level, logger->subsystem, logger->category, text);
    if (logger->settings.copyToStandardError)
        fprintf(stderr, "Quorlan[%s]: %s\n", levelName(level), text);
}
