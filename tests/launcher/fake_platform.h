#pragma once

#include "launcher/launcher.h"
#include "launcher/launcher_log.h"
#include "launcher/platform.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

/// Expects `statement` to end the process through the launcher's abort, with `regex` found in
/// the lines it logged (the dying child copies them to standard error).
#define EXPECT_LAUNCHER_ABORT(statement, regex)                                                    \
    EXPECT_EXIT(statement, ::testing::KilledBySignal(SIGABRT), regex)

namespace tessaly::testing {

/// `function` as the untyped address a loader hands out.
template <typename Function> void *addressOf(Function *function) {
    return reinterpret_cast<void *>(function);
}

/// One line the launcher logged.
struct LogLine {
    QuorlanLogLevel level;
    std::string text;
    bool operator==(const LogLine &) const = default;
};

/// A scripted loader and process for the launcher: while it lives, the launcher's state starts
/// afresh, every platform call is answered from these members, and what the launcher opens and
/// logs is recorded. This build's configuration is embedded and debug logging is on.
class FakePlatform {
public:
    FakePlatform() {
        current() = this;
        didLoadDylibStringSections = 0;
        _cachedDebugDylibHandle = nullptr;
        _cachedDebugDylibEntryPoint = nullptr;
        quorlanSetPlatform(&table);
        setLogSetting("debug");
    }
    ~FakePlatform() { quorlanSetPlatform(nullptr); }
    FakePlatform(const FakePlatform &) = delete;
    FakePlatform &operator=(const FakePlatform &) = delete;

    /// Sets which log levels are on and re-reads the setting, as a fresh start would.
    void setLogSetting(const char *levels) {
        environment[QUORLAN_LOG_VARIABLE] = levels;
        quorlanCreateLog();
    }

    /// Makes `path` open as `handle`, which then defines `symbols`.
    void addLibrary(const std::string &path, void *handle,
                    std::map<std::string, void *> symbols = {}) {
        libraryPaths[path] = handle;
        librarySymbols[handle] = std::move(symbols);
    }

    // What the launcher reads.
    std::string sections[3] = {"Quorlan.debug.so", "", "@rpath/Quorlan.debug.so"};
    std::optional<std::pair<const char *, const char *>> rawSections[3];
    std::map<std::string, std::string> environment;
    std::map<std::string, void *> globals;
    std::map<std::string, void *> libraryPaths;
    std::map<void *, std::map<std::string, void *>> librarySymbols;
    const char *openErrorText = "cannot open shared object file: No such file or directory";
    std::map<void *, const void *> headers;
    std::vector<std::pair<std::string, const void *>> images; // name and header
    std::map<std::pair<const void *, std::string>, std::pair<const void *, std::size_t>>
        imageSections; // by header and name: address and size

    // What the launcher did.
    std::vector<std::string> opened;
    std::vector<std::string> redirectedTo;
    std::vector<LogLine> log;

    /// What the launcher calls; a test may take a member away (imageHeaderOfHandle: a loader
    /// without that query).
    QuorlanPlatform table = {
        [](QuorlanEmbeddedString which, const char **start, const char **end) {
            const std::string &text = current()->sections[which];
            std::tie(*start, *end) = current()->rawSections[which].value_or(
                std::pair{text.data(), text.data() + text.size()});
        },
        [](const char *path) -> void * {
            current()->opened.emplace_back(path);
            return find(current()->libraryPaths, std::string(path));
        },
        [] { return current()->openErrorText; },
        [](const char *name) { return find(current()->globals, std::string(name)); },
        [](void *handle, const char *name) {
            // A null handle means the whole process to the real loader: the launcher must not ask.
            EXPECT_NE(handle, nullptr) << "library lookup of " << name << " without a handle";
            return find(current()->librarySymbols[handle], std::string(name));
        },
        [](void *handle) { return find(current()->headers, handle); },
        [] { return static_cast<int>(current()->images.size()); },
        [](int index) { return current()->images.at(std::size_t(index)).first.c_str(); },
        [](int index) { return current()->images.at(std::size_t(index)).second; },
        [](const void *header, const char *name, std::size_t *size) {
            auto [data, bytes] =
                find(current()->imageSections, std::pair{header, std::string(name)});
            *size = bytes;
            return data;
        },
        [](const char *name) {
            auto found = current()->environment.find(name);
            return found == current()->environment.end() ? nullptr : found->second.c_str();
        },
        [](const char *path) { current()->redirectedTo.emplace_back(path); },
        [](QuorlanLogLevel level, const char *, const char *, const char *text) {
            current()->log.push_back({level, text});
        },
        // A death test's child shows what was logged on standard error, where the parent looks.
        [] {
            for (const LogLine &line : current()->log)
                std::fprintf(stderr, "%s\n", line.text.c_str());
            std::abort();
        },
    };

private:
    static FakePlatform *&current() {
        static FakePlatform *platform;
        return platform;
    }
    /// The value at `key`, or a value-initialised one when there is none.
    template <typename Map, typename Key>
    static typename Map::mapped_type find(const Map &map, const Key &key) {
        auto found = map.find(key);
        return found == map.end() ? typename Map::mapped_type() : found->second;
    }
};

} // namespace tessaly::testing
