// The real program, started as a process: first as this build made it, then copied beside the
// stand-in application library so that its result can be told apart.

#include "elf_file.h"
#include "process_support.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace tessaly::testing;

namespace {

const std::string debugLog = "debug,stderr";

bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

TEST(QuorlanProgram, IsLinkedAgainstTheLibraryByNameWithTheRunPath) {
    ElfFile program(QUORLAN_PROGRAM);
    ASSERT_TRUE(program.valid());
    std::vector<std::string> needed = program.dynamicTexts(DT_NEEDED);
    EXPECT_NE(std::find(needed.begin(), needed.end(), "Quorlan.debug.so"), needed.end());
    for (const std::string &library : needed)
        EXPECT_TRUE(library == "Quorlan.debug.so" || library.rfind("libc.so", 0) == 0 ||
                    library.rfind("libdl.so", 0) == 0)
            << library;
    EXPECT_EQ(program.dynamicTexts(DT_RUNPATH), std::vector<std::string>{"$ORIGIN:$ORIGIN/../lib"});
    EXPECT_TRUE(program.dynamicTexts(DT_RPATH).empty());
}

TEST(QuorlanProgram, CarriesThisBuildsConfigurationInItsOwnSections) {
    ElfFile program(QUORLAN_PROGRAM);
    EXPECT_EQ(program.contents("__debug_dylib"), "Quorlan.debug.so");
    EXPECT_EQ(program.contents("__debug_entry").value_or(""), "");
    EXPECT_EQ(program.contents("__debug_instlnm"), "@rpath/Quorlan.debug.so");
}

TEST(QuorlanProgram, ItsEntryRecordPointsAtTheTrampoline) {
    ElfFile program(QUORLAN_PROGRAM);
    auto section = program.section("__swift5_entry");
    auto record = program.contents("__swift5_entry");
    ASSERT_TRUE(section && record);
    ASSERT_EQ(record->size(), 8u);
    std::int32_t offset;
    std::uint32_t flags;
    std::memcpy(&offset, record->data(), 4);
    std::memcpy(&flags, record->data() + 4, 4);
    EXPECT_EQ(flags, 0u);
    auto trampoline = program.symbol("__debug_dylib_swift_extension_entry_trampoline", ".dynsym");
    ASSERT_TRUE(trampoline);
    EXPECT_EQ(section->sh_addr + static_cast<std::uint64_t>(static_cast<std::int64_t>(offset)),
              *trampoline);
}

TEST(QuorlanProgram, ExportsWhatTheAgentLooksUp) {
    ElfFile program(QUORLAN_PROGRAM);
    for (const char *name :
         {"__debug_blank_executor_main", "__debug_blank_executor_run_user_entry_point",
          "__previews_blank_executor_run_user_entry_point", "getDebugDylibEntryPoint",
          "getDebugDylibHandle", "assertDebugDylibStatus",
          "lookupMainFuncAddressInDebugDylibMachHeader",
          "findDebugDylibMachHeaderAmongLoadedImages", "didLoadDylibStringSections",
          "debugDylibRelativePath", "debugDylibEntryPointName", "debugDylibInstallName",
          "_cachedDebugDylibHandle", "_cachedDebugDylibEntryPoint",
          "abort_failed_to_open___debug_dylib", "abort_could_not_find_CFRunLoopRun___debug_dylib",
          "abort_normaldylib_expected_but_found_pseudodylib___debug_dylib"})
        EXPECT_TRUE(program.symbol(name, ".dynsym")) << name;
    EXPECT_FALSE(program.symbol("quorlanLoadEmbeddedStrings", ".dynsym"));
}

/// A copy of the program in bin/ of a fresh folder, with the stand-in library in lib/.
class LauncherCopy : public ::testing::Test {
protected:
    LauncherCopy() {
        std::filesystem::create_directories(dir / "bin");
        std::filesystem::create_directories(dir / "lib");
        std::filesystem::copy_file(QUORLAN_PROGRAM, program);
        std::filesystem::copy_file(QUORLAN_FAKE_APPLICATION, dir / "lib" / "Quorlan.debug.so");
    }
    ProcessResult run(std::map<std::string, std::string> environment,
                      const std::filesystem::path &workingDirectory = {}) {
        return runProcess({program.string(), "one"}, environment, workingDirectory);
    }
    TempDir dir;
    std::filesystem::path program = dir / "bin" / "Quorlan";
};

TEST_F(LauncherCopy, ANormalRunEndsWithTheEntrysResultAfterLoggingEachStep) {
    ProcessResult result = run({{"TESSALY_LAUNCHER_LOG", debugLog}});
    EXPECT_EQ(result.exitCode, 42) << result.err;
    EXPECT_EQ(result.out, "fake application: argc=2 argv0=" + program.string() + "\n");
    std::vector<std::string> log = lines(result.err);
    ASSERT_EQ(log.size(), 14u) << result.err;
    EXPECT_EQ(log[1], "Quorlan[debug]: Found debug dylib relative path string `Quorlan.debug.so`");
    EXPECT_EQ(log[3], "Quorlan[debug]: No debug dylib entry point name defined.");
    EXPECT_EQ(log[5],
              "Quorlan[debug]: Found debug dylib install name string `@rpath/Quorlan.debug.so`");
    EXPECT_EQ(log[7], "Quorlan[debug]: No Previews JIT entry point found.");
    EXPECT_EQ(log[10], "Quorlan[debug]: Opening debug dylib with '@rpath/Quorlan.debug.so'");
    EXPECT_TRUE(std::regex_match(log[11],
                                 std::regex("Quorlan\\[debug\\]: Debug dylib handle: 0x[0-9a-f]+")))
        << log[11];
    EXPECT_EQ(log[12], "Quorlan[debug]: No entry point found. Checking for alias.");
    EXPECT_EQ(log[13], "Quorlan[debug]: Calling provided entry point.");
}

TEST_F(LauncherCopy, WithoutDebugLoggingNothingIsWritten) {
    ProcessResult result = run({{"TESSALY_LAUNCHER_LOG", "stderr"}});
    EXPECT_EQ(result.exitCode, 42);
    EXPECT_EQ(result.err, "");
}

TEST_F(LauncherCopy, ThePreviewAgentIsAskedToLinkWithThePathAndTheCallback) {
    ProcessResult result = run({{"LD_PRELOAD", QUORLAN_TEST_AGENT}});
    EXPECT_EQ(result.exitCode, 42) << result.err;
    EXPECT_EQ(lines(result.out),
              (std::vector<std::string>{"agent: jit link argc=2 path=Quorlan.debug.so "
                                        "callback=__debug_blank_executor_run_user_entry_point",
                                        "fake application: argc=2 argv0=" + program.string()}));
}

TEST_F(LauncherCopy, TheAgentsCallbackRunsTheApplication) {
    ProcessResult result = run({{"LD_PRELOAD", QUORLAN_TEST_AGENT},
                                {"TESSALY_TEST_AGENT_CALL", "callback"},
                                {"TESSALY_LAUNCHER_LOG", debugLog}});
    EXPECT_EQ(result.exitCode, 42) << result.err;
    EXPECT_TRUE(contains(result.err, "Quorlan[debug]: __debug_blank_executor_run_user_entry_point "
                                     "called\n"));
    EXPECT_TRUE(
        contains(result.err, "Quorlan[debug]: Calling provided entry point from Previews.\n"));
    EXPECT_FALSE(contains(result.err, "PreviewsInjection request for JIT link returned."));
}

TEST_F(LauncherCopy, SkippingTheEntryKeepsTheProcessAliveUntilTheRunLoopStops) {
    ChildProcess child({program.string()}, {{"LD_PRELOAD", QUORLAN_TEST_AGENT},
                                            {"TESSALY_TEST_AGENT_CALL", "callback"},
                                            {"__PREVIEWS_AGENT_SKIP_USER_ENTRY_POINT", ""}});
    EXPECT_EQ(child.readLine(), "agent: jit link argc=1 path=Quorlan.debug.so "
                                "callback=__debug_blank_executor_run_user_entry_point");
    EXPECT_EQ(child.readLine(), "agent: run loop running");
    child.closeInput();
    ProcessResult result = child.wait();
    EXPECT_EQ(result.out, "agent: run loop stopped\n");
    EXPECT_EQ(result.exitCode, 255) << result.err;
}

TEST_F(LauncherCopy, TheTrampolineReachesTheEntryThroughTheLibrarysRecord) {
    ProcessResult result =
        run({{"LD_PRELOAD", QUORLAN_TEST_AGENT},
             {"TESSALY_TEST_AGENT_CALL", "__debug_dylib_swift_extension_entry_trampoline"},
             {"TESSALY_LAUNCHER_LOG", debugLog}});
    EXPECT_EQ(result.exitCode, 42) << result.err;
    EXPECT_TRUE(contains(result.out, "fake application: argc=2"));
    EXPECT_TRUE(contains(result.err, "Quorlan[debug]: dyld image header API available\n"));
    EXPECT_TRUE(
        std::regex_search(result.err, std::regex("Entry section 0x[0-9a-f]+, offset: [0-9a-f]+\n")))
        << result.err;
}

TEST_F(LauncherCopy, AnInterposedLibraryIsOpenedFromTheWorkingDirectory) {
    std::map<std::string, std::string> environment = {{"__PREVIEWS_JIT_LINK", "YES"},
                                                      {"__PREVIEWS_INTERPOSED_DEBUG_DLIB", "1"},
                                                      {"TESSALY_LAUNCHER_LOG", "stderr"}};
    ProcessResult missing = run(environment, dir.path());
    EXPECT_EQ(missing.signal, SIGABRT);
    EXPECT_EQ(missing.err, "Quorlan[error]: Failed to load './Quorlan.debug.so': "
                           "./Quorlan.debug.so: cannot open shared object file: No such file or "
                           "directory\n");

    ProcessResult found = run(environment, dir / "lib");
    EXPECT_EQ(found.exitCode, 42) << found.err;

    environment["LD_PRELOAD"] = QUORLAN_TEST_AGENT;
    environment["TESSALY_TEST_AGENT_PSEUDODYLIB"] = "1";
    ProcessResult pseudo = run(environment, dir / "lib");
    EXPECT_EQ(pseudo.signal, SIGABRT);
}

TEST_F(LauncherCopy, WithoutItsLibraryTheProgramDoesNotStart) {
    std::filesystem::remove(dir / "lib" / "Quorlan.debug.so");
    ProcessResult result = run({});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_TRUE(contains(result.err, "Quorlan.debug.so")) << result.err;
}

/// The libraries named `Quorlan.debug.so` whose initialisers the loader ran, as LD_DEBUG=files
/// reports them: one per copy mapped into the process.
std::vector<std::string> applicationCopiesStarted(const std::string &loaderLog) {
    std::vector<std::string> copies;
    std::regex init("calling init: (.*/Quorlan\\.debug\\.so)$");
    for (const std::string &line : lines(loaderLog)) {
        std::smatch match;
        if (std::regex_search(line, match, init))
            copies.push_back(match[1]);
    }
    return copies;
}

TEST_F(LauncherCopy, TheCopyTheLoaderAlreadyMappedIsTheOneThatRuns) {
    // LD_LIBRARY_PATH comes before the run path, so the loader maps the other copy first;
    // with or without a copy in lib/ beside the program, that one alone must run.
    std::filesystem::path elsewhere = dir / "elsewhere";
    std::filesystem::create_directories(elsewhere);
    std::filesystem::copy_file(QUORLAN_FAKE_APPLICATION, elsewhere / "Quorlan.debug.so");
    for (bool besideProgram : {true, false}) {
        SCOPED_TRACE(besideProgram ? "a copy in lib/ too" : "lib/ empty");
        if (!besideProgram)
            std::filesystem::remove(dir / "lib" / "Quorlan.debug.so");
        ProcessResult result =
            run({{"LD_LIBRARY_PATH", elsewhere.string()}, {"LD_DEBUG", "files"}});
        EXPECT_EQ(result.exitCode, 42) << result.err;
        EXPECT_EQ(applicationCopiesStarted(result.err),
                  std::vector<std::string>{(elsewhere / "Quorlan.debug.so").string()});
    }
}

TEST_F(LauncherCopy, TheAgentRedirectAppendsToItsFixedFile) {
    // The file belongs to whoever runs the agent; only a run that would create it may touch it.
    const std::filesystem::path file = "/tmp/agent-stderr.txt";
    struct stat existing;
    if (lstat(file.c_str(), &existing) == 0)
        GTEST_SKIP() << file << " exists and is not ours to write to";
    ProcessResult first = run({{"__PREVIEWS_AGENT_STUB_EXECUTOR_STDERR_REDIRECT", "1"},
                               {"TESSALY_LAUNCHER_LOG", "default,stderr"}});
    ProcessResult second = run({{"__PREVIEWS_AGENT_STUB_EXECUTOR_STDERR_REDIRECT", "1"}});
    std::string written = readFile(file);
    std::filesystem::remove(file);

    EXPECT_EQ(first.exitCode, 42);
    EXPECT_EQ(second.exitCode, 42);
    // The log line comes before the switch; everything after goes to the file.
    EXPECT_EQ(first.err, "Quorlan[default]: Redirecting agent stderr to /tmp/agent-stderr.txt\n");
    EXPECT_EQ(written, "\n================\n\n================\n");
    std::regex dateThenApplication("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\n\n"
                                   "fake application: argc=2 .*\n");
    EXPECT_TRUE(std::regex_match(first.out, dateThenApplication)) << first.out;
    EXPECT_TRUE(std::regex_match(second.out, dateThenApplication)) << second.out;
}

TEST(QuorlanWindow, TheApplicationsWindowAppearsThroughTheLauncher) {
    ProcessResult result = runProcess({QUORLAN_PROGRAM}, {{"QT_QPA_PLATFORM", "offscreen"},
                                                          {"LD_PRELOAD", QUORLAN_WINDOW_PROBE}});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(contains(result.out, "probe: window shown: tessaly::SceneWindow")) << result.out;
}

TEST(QuorlanWindow, ACopyOfTheLibraryOnTheLibraryPathIsTheOnlyOneThatRuns) {
    TempDir elsewhere;
    std::filesystem::copy_file(QUORLAN_APPLICATION, elsewhere / "Quorlan.debug.so");
    ProcessResult result = runProcess({QUORLAN_PROGRAM}, {{"QT_QPA_PLATFORM", "offscreen"},
                                                          {"LD_PRELOAD", QUORLAN_WINDOW_PROBE},
                                                          {"LD_LIBRARY_PATH", elsewhere.path()},
                                                          {"LD_DEBUG", "files"}});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(contains(result.out, "probe: window shown: tessaly::SceneWindow")) << result.out;
    EXPECT_EQ(applicationCopiesStarted(result.err),
              std::vector<std::string>{(elsewhere / "Quorlan.debug.so").string()});
}

} // namespace
