#pragma once

#include "launcher/launcher.h"
#include "launcher/launcher_log.h"
#include "launcher/platform.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

/// Expects `statement` to end the process through the launcher's abort, with `regex` found in
/// the lines it logged (the dying child copies them to standard error).
#define EXPECT_LAUNCHER_ABORT(fake, statement, regex)                                              \
    EXPECT_EXIT(                                                                                   \
        {                                                                                          \
            (fake).echoToStandardError = true;                                                     \
            statement;                                                                             \
        },                                                                                         \
        ::testing::KilledBySignal(SIGABRT), regex)

namespace tessaly::testing {

/// One line the launcher logged.
struct LogLine {
    QuorlanLogLevel level;
    std::string text;
    bool operator==(const LogLine &) const = default;
};

/// A scripted loader and process for the launcher: while it lives, the launcher's state starts
/// zeroed, every platform call is answered from these members, and what the launcher opens and
/// logs is recorded. Debug logging is on.
class FakePlatform {
public:
    FakePlatform();
    ~FakePlatform();
    FakePlatform(const FakePlatform &) = delete;
    FakePlatform &operator=(const FakePlatform &) = delete;

    /// Embeds this build's configuration: relative path, no entry name, install name.
    void embedThisBuildsStrings();
    /// Sets an environment variable and re-creates the log handle, as a fresh start would.
    void setEnv(const std::string &name, const std::string &value);
    /// Makes `path` open as `handle`, which then defines `symbols`.
    void addLibrary(const std::string &path, void *handle,
                    std::map<std::string, void *> symbols = {});
    /// Takes the loader's image-header query away, as on a loader that lacks it.
    void withoutImageHeaderQuery() { m_table.imageHeaderOfHandle = nullptr; }
    /// The texts of the logged lines, in order.
    std::vector<std::string> texts() const;

    // What the launcher reads.
    std::string sections[3];
    std::optional<std::pair<const char *, const char *>> rawSections[3];
    std::map<std::string, std::string> environment;
    std::map<std::string, void *> globals;
    std::map<std::string, void *> libraryPaths;
    std::map<void *, std::map<std::string, void *>> librarySymbols;
    const char *openErrorText = "cannot open shared object file: No such file or directory";
    std::map<void *, const void *> headers;
    struct Image {
        std::string name;
        const void *header;
    };
    std::vector<Image> images;
    struct Section {
        const void *data;
        std::size_t size;
    };
    std::map<std::pair<const void *, std::string>, Section> imageSections;
    /// Copies every line to standard error, for tests that watch a process die.
    bool echoToStandardError = false;

    // What the launcher did.
    std::vector<std::string> opened;
    std::vector<std::string> redirectedTo;
    std::vector<LogLine> log;

private:
    QuorlanPlatform m_table;
};

/// `function` as the untyped address a loader hands out.
template <typename Function> void *addressOf(Function *function) {
    return reinterpret_cast<void *>(function);
}

} // namespace tessaly::testing
