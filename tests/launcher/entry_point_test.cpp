#include "fake_platform.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

using tessaly::testing::addressOf;
using tessaly::testing::FakePlatform;
using tessaly::testing::LogLine;

namespace {

int library; // its address stands for the library's handle
extern "C" int epApplicationEntry(int, char **) {
    return 7;
}
extern "C" int epApplicationMain(int, char **) {
    return 8;
}
extern "C" int epNamedEntry(int, char **) {
    return 9;
}
extern "C" bool epReportsPseudoDylib(void *) {
    return true;
}
extern "C" bool epReportsOrdinaryLibrary(void *) {
    return false;
}

const std::map<std::string, void *> applicationSymbols = {
    {"__debug_main_executable_dylib_entry_point", addressOf(epApplicationEntry)},
    {"main", addressOf(epApplicationMain)}};

/// The lines logged after the three embedded strings were read.
std::vector<std::string> linesAfterStrings(const FakePlatform &fake) {
    std::vector<std::string> texts = fake.texts();
    return {texts.begin() + std::min<std::ptrdiff_t>(6, std::ssize(texts)), texts.end()};
}

/// This build's configuration with the library where the run path finds it.
class Launch : public ::testing::Test {
protected:
    Launch() {
        fake.embedThisBuildsStrings();
        fake.addLibrary("@rpath/Quorlan.debug.so", &library, applicationSymbols);
    }
    FakePlatform fake;
};

TEST_F(Launch, OpensTheLibraryByInstallNameAndFindsTheAlias) {
    EXPECT_EQ(getDebugDylibEntryPoint(), &epApplicationEntry);

    EXPECT_EQ(_cachedDebugDylibHandle, &library);
    EXPECT_EQ(fake.opened, std::vector<std::string>{"@rpath/Quorlan.debug.so"});
    std::vector<std::string> lines = linesAfterStrings(fake);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Looking for main entry point.");
    EXPECT_EQ(lines[1], "Opening debug dylib with '@rpath/Quorlan.debug.so'");
    EXPECT_EQ(lines[2].rfind("Debug dylib handle: 0x", 0), 0u) << lines[2];
    EXPECT_EQ(lines[3], "No entry point found. Checking for alias.");
}

TEST_F(Launch, HandleAndEntryAreResolvedOnce) {
    getDebugDylibEntryPoint();
    fake.log.clear();
    EXPECT_EQ(getDebugDylibEntryPoint(), &epApplicationEntry);
    EXPECT_EQ(getDebugDylibHandle(), &library);
    EXPECT_EQ(fake.opened.size(), 1u);
    EXPECT_TRUE(fake.log.empty());
}

TEST_F(Launch, WithoutInstallNameTheRelativePathIsOpened) {
    fake.sections[QuorlanInstallNameString] = "";
    fake.addLibrary("Quorlan.debug.so", &library, applicationSymbols);
    EXPECT_EQ(getDebugDylibHandle(), &library);
    EXPECT_EQ(fake.opened, std::vector<std::string>{"Quorlan.debug.so"});
}

TEST_F(Launch, OnlyYesOrOneMeanJitLinked) {
    fake.addLibrary("Quorlan.debug.so", &library, applicationSymbols);
    struct Case {
        const char *value; // null: unset
        const char *opened;
    };
    for (Case c : {Case{nullptr, "@rpath/Quorlan.debug.so"}, Case{"NO", "@rpath/Quorlan.debug.so"},
                   Case{"0", "@rpath/Quorlan.debug.so"}, Case{"", "@rpath/Quorlan.debug.so"},
                   Case{"yes", "@rpath/Quorlan.debug.so"}, Case{"YES", "Quorlan.debug.so"},
                   Case{"1", "Quorlan.debug.so"}}) {
        SCOPED_TRACE(c.value ? c.value : "unset");
        _cachedDebugDylibHandle = nullptr;
        fake.opened.clear();
        fake.environment.erase("__PREVIEWS_JIT_LINK");
        if (c.value)
            fake.environment["__PREVIEWS_JIT_LINK"] = c.value;
        getDebugDylibHandle();
        EXPECT_EQ(fake.opened, std::vector<std::string>{c.opened});
    }
}

TEST_F(Launch, JitLinkedAndNotInterposedOpensTheBareRelativePath) {
    fake.addLibrary("Quorlan.debug.so", &library, applicationSymbols);
    fake.environment["__PREVIEWS_JIT_LINK"] = "YES";
    fake.environment["__PREVIEWS_INTERPOSED_DEBUG_DLIB"] = "NO";
    fake.globals["_dyld_is_pseudodylib"] = addressOf(epReportsPseudoDylib); // kind 0: not asked
    EXPECT_EQ(getDebugDylibHandle(), &library);
    std::vector<std::string> lines = linesAfterStrings(fake);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Stub executor is JIT linked");
    EXPECT_EQ(lines[1], "Debug dylib is not interposed");
    EXPECT_EQ(lines[2], "Opening debug dylib with 'Quorlan.debug.so'");
}

TEST_F(Launch, InterposedByNameMustBeAPseudoDylib) {
    fake.addLibrary("/agent/Quorlan.debug.so", &library, applicationSymbols);
    fake.environment["__PREVIEWS_JIT_LINK"] = "1";
    fake.environment["__PREVIEWS_INTERPOSED_DEBUG_DLIB"] = "1";
    fake.environment["__PREVIEWS_EXECUTABLE_DYLIB_NAME"] = "/agent/Quorlan.debug.so";
    fake.globals["_dyld_is_pseudodylib"] = addressOf(epReportsOrdinaryLibrary);
    EXPECT_LAUNCHER_ABORT(fake, getDebugDylibHandle(), "");

    fake.globals["_dyld_is_pseudodylib"] = addressOf(epReportsPseudoDylib);
    EXPECT_EQ(getDebugDylibHandle(), &library);
    std::vector<std::string> lines = linesAfterStrings(fake);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[1], "Debug dylib is interposed");
    EXPECT_EQ(lines[2], "Looking up debug dylib by install name '/agent/Quorlan.debug.so'");
    EXPECT_EQ(lines[3], "Opening debug dylib with '/agent/Quorlan.debug.so'");
}

TEST_F(Launch, InterposedByRelativePathOpensItBesideTheWorkingDirectoryAndRefusesAPseudoDylib) {
    fake.addLibrary("./Quorlan.debug.so", &library, applicationSymbols);
    fake.environment["__PREVIEWS_JIT_LINK"] = "YES";
    fake.environment["__PREVIEWS_INTERPOSED_DEBUG_DLIB"] = "YES";
    fake.globals["_dyld_is_pseudodylib"] = addressOf(epReportsPseudoDylib);
    EXPECT_LAUNCHER_ABORT(fake, getDebugDylibHandle(), "");

    fake.globals["_dyld_is_pseudodylib"] = addressOf(epReportsOrdinaryLibrary);
    EXPECT_EQ(getDebugDylibHandle(), &library);
    std::vector<std::string> lines = linesAfterStrings(fake);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[2], "Looking up debug dylib by relative path 'Quorlan.debug.so'");
    EXPECT_EQ(lines[3], "Opening debug dylib with './Quorlan.debug.so'");
}

TEST_F(Launch, TheLongestRelativePathStillGetsItsPrefix) {
    std::string longest(1023, 'l');
    fake.sections[QuorlanRelativePathString] = longest;
    fake.addLibrary("./" + longest, &library, applicationSymbols);
    fake.environment["__PREVIEWS_JIT_LINK"] = "YES";
    fake.environment["__PREVIEWS_INTERPOSED_DEBUG_DLIB"] = "YES";
    EXPECT_EQ(getDebugDylibHandle(), &library);
    EXPECT_EQ(fake.opened, std::vector<std::string>{"./" + longest});
}

TEST_F(Launch, WithoutPseudoDylibSupportNoKindIsChecked) {
    fake.addLibrary("./Quorlan.debug.so", &library, applicationSymbols);
    fake.environment["__PREVIEWS_JIT_LINK"] = "YES";
    fake.environment["__PREVIEWS_INTERPOSED_DEBUG_DLIB"] = "YES";
    EXPECT_EQ(getDebugDylibHandle(), &library);
    assertDebugDylibStatus(&library, 1);
    assertDebugDylibStatus(&library, 2);
}

TEST_F(Launch, AMissingLibraryAbortsWithTheLoadersText) {
    fake.libraryPaths.clear();
    EXPECT_LAUNCHER_ABORT(
        fake, getDebugDylibEntryPoint(),
        "Failed to load '@rpath/Quorlan.debug.so': cannot open shared object file: No "
        "such file or directory");
    fake.openErrorText = nullptr;
    EXPECT_LAUNCHER_ABORT(fake, getDebugDylibEntryPoint(),
                          "Failed to load '@rpath/Quorlan.debug.so'\n");
}

TEST_F(Launch, AStoredEntryNameIsLookedUpWithoutTheLinkersUnderscore) {
    fake.sections[QuorlanEntryPointNameString] = "_start_app";
    fake.librarySymbols[&library]["start_app"] = addressOf(epNamedEntry);
    EXPECT_EQ(getDebugDylibEntryPoint(), &epNamedEntry);
    EXPECT_EQ(fake.texts().back(), "Looking up entry point name 'start_app'");
}

TEST_F(Launch, EachFallbackIsTriedInTurn) {
    fake.sections[QuorlanEntryPointNameString] = "_start_app";
    fake.librarySymbols[&library].erase("__debug_main_executable_dylib_entry_point");
    EXPECT_EQ(getDebugDylibEntryPoint(), &epApplicationMain);

    std::vector<std::string> lines = linesAfterStrings(fake);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[3], "Looking up entry point name 'start_app'");
    EXPECT_EQ(lines[4], "Could not find provided entry point name 'start_app");
    EXPECT_EQ(fake.log[6 + 4].level, QuorlanLogError);
    EXPECT_EQ(lines[5], "No entry point found. Checking for alias.");
    EXPECT_EQ(lines[6],
              "No alias entry point found. Falling back to look up entry point name 'main'");

    _cachedDebugDylibEntryPoint = nullptr;
    fake.librarySymbols[&library].clear();
    fake.globals["start_app"] = addressOf(epNamedEntry);
    fake.log.clear();
    EXPECT_EQ(getDebugDylibEntryPoint(), &epNamedEntry);
    EXPECT_EQ(fake.texts().back(), "No entry point found in debug dylib. Falling back to look up "
                                   "entry point name 'start_app' globally.");
}

TEST_F(Launch, NoEntryAnywhereAbortsNamingWhatWasChecked) {
    fake.librarySymbols[&library].clear();
    EXPECT_LAUNCHER_ABORT(fake, getDebugDylibEntryPoint(),
                          "No entry point found. Checked '\\(null\\)'");
    fake.sections[QuorlanEntryPointNameString] = "_start_app";
    EXPECT_LAUNCHER_ABORT(fake, getDebugDylibEntryPoint(),
                          "No entry point found. Checked 'start_app'");
}

TEST(FrameworkAgent, WithoutALibraryTheEntryIsFoundInTheWholeProcess) {
    FakePlatform fake;
    fake.globals["__debug_main_executable_dylib_entry_point"] = addressOf(epNamedEntry);
    EXPECT_EQ(getDebugDylibHandle(), nullptr);
    EXPECT_EQ(getDebugDylibEntryPoint(), &epNamedEntry);
    EXPECT_TRUE(fake.opened.empty());
    EXPECT_EQ(fake.texts().back(), "No debug dylib present, assuming framework agent.");
}

TEST(FrameworkAgent, WithoutALibraryOrAGlobalEntryOnlyANamedGlobalRemains) {
    FakePlatform fake;
    fake.sections[QuorlanEntryPointNameString] = "_start_app";
    fake.globals["start_app"] = addressOf(epNamedEntry);
    EXPECT_EQ(getDebugDylibEntryPoint(), &epNamedEntry);
    std::vector<std::string> texts = fake.texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(),
                        "Could not find framework agent entry point name "
                        "'__debug_main_executable_dylib_entry_point'. Falling back to other "
                        "paths."),
              texts.end());

    fake.globals.clear();
    _cachedDebugDylibEntryPoint = nullptr;
    EXPECT_LAUNCHER_ABORT(fake, getDebugDylibEntryPoint(),
                          "No entry point found. Checked 'start_app'");
}

} // namespace
