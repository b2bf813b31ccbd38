#include "fake_platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tessaly::testing {
namespace {

FakePlatform *current;

template <typename Map, typename Key>
auto lookup(const Map &map, const Key &key, decltype(map.begin()->second) otherwise) {
    auto found = map.find(key);
    return found == map.end() ? otherwise : found->second;
}

const QuorlanPlatform fakeTable = {
    [](QuorlanEmbeddedString which, const char **start, const char **end) {
        const std::string &text = current->sections[which];
        auto bounds =
            current->rawSections[which].value_or(std::pair{text.data(), text.data() + text.size()});
        *start = bounds.first;
        *end = bounds.second;
    },
    [](const char *path) -> void * {
        current->opened.emplace_back(path);
        return lookup(current->libraryPaths, std::string(path), nullptr);
    },
    [] { return current->openErrorText; },
    [](const char *name) -> void * { return lookup(current->globals, std::string(name), nullptr); },
    [](void *handle, const char *name) -> void * {
        // A null handle means the whole process to the real loader: the launcher must not ask.
        EXPECT_NE(handle, nullptr) << "library lookup of " << name << " without a handle";
        return lookup(current->librarySymbols[handle], std::string(name), nullptr);
    },
    [](void *handle) -> const void * { return lookup(current->headers, handle, nullptr); },
    [] { return static_cast<int>(current->images.size()); },
    [](int index) { return current->images.at(static_cast<std::size_t>(index)).name.c_str(); },
    [](int index) { return current->images.at(static_cast<std::size_t>(index)).header; },
    [](const void *header, const char *name, std::size_t *size) {
        FakePlatform::Section section =
            lookup(current->imageSections, std::pair{header, std::string(name)}, {nullptr, 0});
        *size = section.size;
        return section.data;
    },
    [](const char *name) {
        auto found = current->environment.find(name);
        return found == current->environment.end() ? nullptr : found->second.c_str();
    },
    [](const char *path) { current->redirectedTo.emplace_back(path); },
    [](QuorlanLogLevel level, const char *, const char *, const char *text) {
        current->log.push_back({level, text});
        if (current->echoToStandardError)
            std::fprintf(stderr, "%s\n", text);
    },
    [] { std::abort(); },
};

} // namespace

FakePlatform::FakePlatform() : m_table(fakeTable) {
    current = this;
    didLoadDylibStringSections = 0;
    std::memset(debugDylibRelativePath, 0, sizeof debugDylibRelativePath);
    std::memset(debugDylibEntryPointName, 0, sizeof debugDylibEntryPointName);
    std::memset(debugDylibInstallName, 0, sizeof debugDylibInstallName);
    _cachedDebugDylibHandle = nullptr;
    _cachedDebugDylibEntryPoint = nullptr;
    quorlanSetPlatform(&m_table);
    setEnv(QUORLAN_LOG_VARIABLE, "debug");
}

FakePlatform::~FakePlatform() {
    quorlanSetPlatform(nullptr);
    current = nullptr;
}

void FakePlatform::embedThisBuildsStrings() {
    sections[QuorlanRelativePathString] = "Quorlan.debug.so";
    sections[QuorlanEntryPointNameString] = "";
    sections[QuorlanInstallNameString] = "@rpath/Quorlan.debug.so";
}

void FakePlatform::setEnv(const std::string &name, const std::string &value) {
    environment[name] = value;
    quorlanCreateLog();
}

void FakePlatform::addLibrary(const std::string &path, void *handle,
                              std::map<std::string, void *> symbols) {
    libraryPaths[path] = handle;
    librarySymbols[handle] = std::move(symbols);
}

std::vector<std::string> FakePlatform::texts() const {
    std::vector<std::string> result;
    for (const LogLine &line : log)
        result.push_back(line.text);
    return result;
}

} // namespace tessaly::testing
