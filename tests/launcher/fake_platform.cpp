#include "fake_platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tessaly::testing {
namespace {

FakePlatform *current;

void fakeEmbeddedSection(QuorlanEmbeddedString which, const char **start, const char **end) {
    if (current->rawSections[which]) {
        *start = current->rawSections[which]->first;
        *end = current->rawSections[which]->second;
        return;
    }
    const std::string &text = current->sections[which];
    *start = text.data();
    *end = text.data() + text.size();
}

void *fakeOpen(const char *path) {
    current->opened.emplace_back(path);
    auto found = current->libraryPaths.find(path);
    return found == current->libraryPaths.end() ? nullptr : found->second;
}

const char *fakeOpenError() {
    return current->openErrorText;
}

void *fakeLookupGlobal(const char *name) {
    auto found = current->globals.find(name);
    return found == current->globals.end() ? nullptr : found->second;
}

void *fakeLookupInLibrary(void *handle, const char *name) {
    // A null handle means the whole process to the real loader: the launcher must not ask.
    EXPECT_NE(handle, nullptr) << "library lookup of " << name << " without a handle";
    auto &symbols = current->librarySymbols[handle];
    auto found = symbols.find(name);
    return found == symbols.end() ? nullptr : found->second;
}

const void *fakeImageHeaderOfHandle(void *handle) {
    auto found = current->headers.find(handle);
    return found == current->headers.end() ? nullptr : found->second;
}

int fakeImageCount() {
    return current->imageCountOverride.value_or(static_cast<int>(current->images.size()));
}

const char *fakeImageName(int index) {
    return current->images.at(static_cast<std::size_t>(index)).name.c_str();
}

const void *fakeImageHeader(int index) {
    return current->images.at(static_cast<std::size_t>(index)).header;
}

const void *fakeSectionData(const void *header, const char *name, std::size_t *size) {
    auto found = current->imageSections.find({header, name});
    if (found == current->imageSections.end()) {
        *size = 0;
        return nullptr;
    }
    *size = found->second.size;
    return found->second.data;
}

const char *fakeGetEnv(const char *name) {
    auto found = current->environment.find(name);
    return found == current->environment.end() ? nullptr : found->second.c_str();
}

void fakeRedirectStandardError(const char *path) {
    current->redirectedTo.emplace_back(path);
}

void fakeLog(QuorlanLogLevel level, const char *, const char *, const char *text) {
    current->log.push_back({level, text});
    if (current->echoToStandardError)
        std::fprintf(stderr, "%s\n", text);
}

void fakeAbortProcess() {
    std::abort();
}

} // namespace

FakePlatform::FakePlatform()
    : m_table{fakeEmbeddedSection,
              fakeOpen,
              fakeOpenError,
              fakeLookupGlobal,
              fakeLookupInLibrary,
              fakeImageHeaderOfHandle,
              fakeImageCount,
              fakeImageName,
              fakeImageHeader,
              fakeSectionData,
              fakeGetEnv,
              fakeRedirectStandardError,
              fakeLog,
              fakeAbortProcess} {
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
