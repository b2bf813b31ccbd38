// The real program: the file this build made, then a copy started beside the stand-in
// application library so that its result can be told apart, then with the real application.

#include "elf_file.h"
#include "process_support.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace tessaly::testing;

namespace {

TEST(QuorlanProgram, IsLinkedAgainstTheLibraryByNameWithTheRunPath) {
    ElfFile program(QUORLAN_PROGRAM);
    std::vector<std::string> needed = program.dynamicTexts(DT_NEEDED);
    EXPECT_NE(std::find(needed.begin(), needed.end(), "Quorlan.debug.so"), needed.end());
    for (const std::string &library : needed)
        EXPECT_TRUE(library == "Quorlan.debug.so" || library.rfind("libc.so", 0) == 0 ||
                    library.rfind("libdl.so", 0) == 0)
            << library;
    EXPECT_EQ(program.dynamicTexts(DT_RUNPATH), std::vector<std::string>{"$ORIGIN:$ORIGIN/../lib"});
    EXPECT_TRUE(program.dynamicTexts(DT_RPATH).empty());
}

TEST(QuorlanProgram, CarriesThisBuildsConfigurationAndAnEntryRecordForTheTrampoline) {
    ElfFile program(QUORLAN_PROGRAM);
    EXPECT_EQ(program.contents("__debug_dylib"), "Quorlan.debug.so");
    EXPECT_EQ(program.contents("__debug_entry").value_or(""), "");
    EXPECT_EQ(program.contents("__debug_instlnm"), "@rpath/Quorlan.debug.so");

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

/// A copy of the program in bin/ of a fresh folder, with the stand-in library in lib/.
class LauncherCopy : public ::testing::Test {
protected:
    LauncherCopy() {
        std::filesystem::create_directories(dir / "bin");
        std::filesystem::create_directories(dir / "lib");
        std::filesystem::copy_file(QUORLAN_PROGRAM, program);
        std::filesystem::copy_file(QUORLAN_FAKE_APPLICATION, dir / "lib" / "Quorlan.debug.so");
    }
    ChildRun run(const std::map<std::string, std::string> &environment) {
        return runProcess({program.string(), "one"}, environment);
    }
    TempDir dir;
    std::filesystem::path program = dir / "bin" / "Quorlan";
};

TEST_F(LauncherCopy, RunsTheApplicationDirectlyOrThroughTheAgent) {
    const std::string linked = "agent: jit link argc=2 path=Quorlan.debug.so "
                               "callback=__debug_blank_executor_run_user_entry_point\n";
    const std::string application = "fake application: argc=2 argv0=" + program.string() + "\n";
    struct Case {
        const char *agentCalls; // null: no agent; empty: the agent returns
        bool skipEntry;
        int exitCode;
    };
    for (Case c : {
             Case{nullptr, false, 42},
             Case{"", false, 42},
             Case{"__previews_blank_executor_run_user_entry_point", false, 42},
             Case{"__debug_dylib_swift_extension_entry_trampoline", false, 42},
             // The agent's run loop lasts until standard input ends, here at once.
             Case{"callback", true, 255},
         }) {
        SCOPED_TRACE(c.agentCalls ? c.agentCalls : "no agent");
        // Errors are copied to standard error, and there are none.
        std::map<std::string, std::string> environment = {{"TESSALY_LAUNCHER_LOG", "stderr"}};
        std::string out = application;
        if (c.agentCalls) {
            environment["LD_PRELOAD"] = QUORLAN_TEST_AGENT;
            if (*c.agentCalls)
                environment["TESSALY_TEST_AGENT_CALL"] = c.agentCalls;
            out = linked + out;
        }
        if (c.skipEntry) {
            environment["__PREVIEWS_AGENT_SKIP_USER_ENTRY_POINT"] = "";
            out = linked + "agent: run loop running\nagent: run loop stopped\n";
        }
        ChildRun result = run(environment);
        EXPECT_EQ(result.status, c.exitCode);
        EXPECT_EQ(result.out, out);
        EXPECT_EQ(result.err, "");
    }
}

// Which copy of the library runs is the system platform tests' part.
TEST(QuorlanWindow, TheProgramShowsTheApplicationsWindow) {
    ChildRun result = runProcess({QUORLAN_PROGRAM}, {{"QT_QPA_PLATFORM", "offscreen"},
                                                     {"LD_PRELOAD", QUORLAN_WINDOW_PROBE}});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("probe: window shown: tessaly::SceneWindow"), std::string::npos)
        << result.out;
}

} // namespace
