#include "launcher/launcher_log.h"
#include "launcher/launcher_support.h"

#include <stddef.h>
#include <stdint.h>
#include <string.h>

unsigned char didLoadDylibStringSections;
char debugDylibRelativePath[QuorlanRelativePathLimit];
char debugDylibEntryPointName[QuorlanEntryPointNameLimit];
char debugDylibInstallName[QuorlanInstallNameLimit];

typedef struct EmbeddedString {
    QuorlanEmbeddedString section;
    char *buffer;
    size_t limit;
    const char *lookingUp;
    QuorlanLogLevel emptyLevel;
    const char *empty;
    const char *found;
} EmbeddedString;

static const EmbeddedString embeddedStrings[] = {
    {QuorlanRelativePathString, debugDylibRelativePath, QuorlanRelativePathLimit,
     "Looking up debug dylib relative path", QuorlanLogDebug,
     "No debug dylib relative path defined.",
     "Found debug dylib relative path string `%{public}s`"},
    {QuorlanEntryPointNameString, debugDylibEntryPointName, QuorlanEntryPointNameLimit,
     "Looking up debug dylib entry point name", QuorlanLogDebug,
     "No debug dylib entry point name defined.",
     "Found debug dylib entry point name string `%{public}s`"},
    // Only the install name is logged without the public marker.
    {QuorlanInstallNameString, debugDylibInstallName, QuorlanInstallNameLimit,
     "Looking up debug dylib install name", QuorlanLogError, "No debug dylib install name defined.",
     "Found debug dylib install name string `%s`"},
};

static void loadEmbeddedString(const EmbeddedString *string) {
    quorlanLog(QuorlanLogDebug, "%s", string->lookingUp);
    const char *start = NULL;
    const char *end = NULL;
    quorlanPlatform()->embeddedSection(string->section, &start, &end);
    // The bounds may come from two unrelated symbols, so compare them as addresses.
    if ((uintptr_t)end < (uintptr_t)start) {
        quorlanLog(QuorlanLogError,
                   "Stub executor cannot load text section from binary: (%{public}p, %{public}p)",
                   (const void *)start, (const void *)end);
        quorlanAbort();
    }
    size_t length = (size_t)((uintptr_t)end - (uintptr_t)start);
    if (length + 1 > string->limit) {
        quorlanLog(QuorlanLogError,
                   "Size of stub executor text section too large: (%{public}zu > %{public}zu)",
                   length + 1, string->limit);
        quorlanAbort();
    }
    if (length > 0)
        memcpy(string->buffer, start, length);
    string->buffer[length] = '\0';
    if (length == 0)
        quorlanLog(string->emptyLevel, "%s", string->empty);
    else
        quorlanLog(QuorlanLogDebug, string->found, string->buffer);
}

void quorlanLoadEmbeddedStrings(void) {
    if (didLoadDylibStringSections)
        return;
    for (size_t i = 0; i < sizeof embeddedStrings / sizeof embeddedStrings[0]; ++i)
        loadEmbeddedString(&embeddedStrings[i]);
    didLoadDylibStringSections = 1;
}
