// The real program: the file this build made, then a copy started beside the stand-in
// application library so that its result can be told apart. The real application's start from
// an installed tree is scripts/check-package's part.

#include "elf_file.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

using namespace tessaly::testing;

namespace {

TEST(QuorlanProgram, NeedsOnlyTheLibraryAndTheCLibrariesAndCarriesThisBuildsConfiguration) {
    ElfFile program(QUORLAN_PROGRAM);
    std::vector<std::string> needed = program.dynamicTexts(DT_NEEDED);
    EXPECT_NE(std::find(needed.begin(), needed.end(), "Quorlan.debug.so"), needed.end());
    for (const std::string &library : needed)
        EXPECT_TRUE(library == "Quorlan.debug.so" || library.rfind("libc.so", 0) == 0 ||
                    library.rfind("libdl.so", 0) == 0)
            << library;
    EXPECT_EQ(program.dynamicTexts(DT_RUNPATH), std::vector<std::string>{"$ORIGIN:$ORIGIN/../lib"});
    EXPECT_TRUE(program.dynamicTexts(DT_RPATH).empty());
    EXPECT_EQ(program.contents("__debug_dylib"), "Quorlan.debug.so");
    EXPECT_EQ(program.contents("__debug_entry").value_or(""), "");
    EXPECT_EQ(program.contents("__debug_instlnm"), "@rpath/Quorlan.debug.so");
}

TEST(BuildTree, NoProgramOrLibraryLoadsFromTheWorkingDirectory) {
    // The loader reads an empty run-path entry as the working directory.
    std::size_t seen = 0;
    for (const char *folder : {"bin", "lib"}) {
        const std::filesystem::path root = std::filesystem::path(TESSALY_BINARY_DIR) / folder;
        for (const auto &item : std::filesystem::recursive_directory_iterator(root)) {
            if (!item.is_regular_file() || item.is_symlink())
                continue;
            for (std::int64_t tag : {DT_RUNPATH, DT_RPATH}) {
                for (const std::string &list : ElfFile(item.path()).dynamicTexts(tag)) {
                    ++seen;
                    // Bounded by colons, an empty entry shows as two in a row.
                    EXPECT_EQ((":" + list + ":").find("::"), std::string::npos)
                        << item.path() << ": '" << list << "'";
                }
            }
        }
    }
    EXPECT_GT(seen, 0u) << "the launcher's own run path was not read";
}

TEST(LauncherCopy, RunsTheApplicationDirectlyOrThroughTheAgent) {
    // A copy of the program in bin/ of a fresh folder, with the stand-in library in lib/.
    TempDir dir;
    const std::filesystem::path program = dir / "bin" / "Quorlan";
    std::filesystem::create_directories(dir / "bin");
    std::filesystem::create_directories(dir / "lib");
    std::filesystem::copy_file(QUORLAN_PROGRAM, program);
    std::filesystem::copy_file(QUORLAN_FAKE_APPLICATION, dir / "lib" / "Quorlan.debug.so");

    const std::string callback = "__debug_blank_executor_run_user_entry_point";
    const std::string linked =
        "agent: jit link argc=2 path=Quorlan.debug.so callback=" + callback + "\n";
    const std::string application = "fake application: argc=2 argv0=" + program.string() + "\n";
    struct Case {
        const char *agentCalls; // null: no agent; empty: the agent returns
        bool skipEntry;
        std::string out;
        int exitCode;
    };
    for (const Case &c : {
             Case{nullptr, false, application, 42},
             Case{"", false, linked + application, 42},
             Case{"__previews_blank_executor_run_user_entry_point", false, linked + application,
                  42},
             Case{"__debug_dylib_swift_extension_entry_trampoline", false, linked + application,
                  42},
             // The agent's run loop lasts until standard input ends, here at once.
             Case{callback.c_str(), true,
                  linked + "agent: run loop running\nagent: run loop stopped\n", 255},
         }) {
        SCOPED_TRACE(c.agentCalls ? c.agentCalls : "no agent");
        // Errors are copied to standard error, and there are none.
        std::map<std::string, std::string> environment = {{"TESSALY_LAUNCHER_LOG", "stderr"}};
        if (c.agentCalls) {
            environment["LD_PRELOAD"] = QUORLAN_TEST_AGENT;
            environment["TESSALY_TEST_AGENT_CALL"] = c.agentCalls;
        }
        if (c.skipEntry)
            environment["__PREVIEWS_AGENT_SKIP_USER_ENTRY_POINT"] = "";
        // A test run under the preview agent must not hand the launcher's variables on.
        ChildRun result =
            runChild({program.string(), "one"},
                     {.environment = environment,
                      .withoutVariables = {"__PREVIEWS_", "TESSALY_", "LD_PRELOAD="}});
        EXPECT_EQ(result.status, c.exitCode);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, "");
    }
}

} // namespace
