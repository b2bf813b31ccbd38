// What the build leaves in its own folders, then `cmake --install` into a fresh prefix and the
// installed program run from there; how the program runs is the process tests' concern.

#include "elf_file.h"
#include "process_support.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

using namespace tessaly::testing;

namespace {

/// One entry of a run path (DT_RUNPATH or DT_RPATH) of a program or library.
struct RunPathEntry {
    std::filesystem::path file;
    std::string entry;
};

/// The run-path entries of every ELF file under `folder`, empty ones included.
std::vector<RunPathEntry> runPathEntries(const std::filesystem::path &folder) {
    std::vector<RunPathEntry> entries;
    for (const auto &item : std::filesystem::recursive_directory_iterator(folder)) {
        if (!item.is_regular_file() || item.is_symlink())
            continue;
        ElfFile file(item.path());
        for (std::int64_t tag : {DT_RUNPATH, DT_RPATH}) {
            for (const std::string &list : file.dynamicTexts(tag)) {
                std::size_t start = 0;
                for (std::size_t colon; (colon = list.find(':', start)) != std::string::npos;
                     start = colon + 1)
                    entries.push_back({item.path(), list.substr(start, colon - start)});
                entries.push_back({item.path(), list.substr(start)});
            }
        }
    }
    return entries;
}

TEST(BuildTree, NoProgramOrLibraryLoadsFromTheWorkingDirectory) {
    // The loader reads an empty run-path entry as the working directory.
    std::size_t seen = 0;
    for (const char *folder : {"bin", "lib"}) {
        for (const RunPathEntry &found :
             runPathEntries(std::filesystem::path(TESSALY_BINARY_DIR) / folder)) {
            ++seen;
            EXPECT_NE(found.entry, "") << found.file;
        }
    }
    EXPECT_GT(seen, 0u) << "the launcher's own run path was not read";
}

/// The build installed once into a temporary prefix for the whole suite.
class InstalledLayout : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_prefix = new TempDir;
        s_install = runProcess(
            {CMAKE_COMMAND, "--install", TESSALY_BINARY_DIR, "--prefix", s_prefix->path().string()},
            {});
    }
    static void TearDownTestSuite() {
        delete s_prefix;
        s_prefix = nullptr;
    }
    void SetUp() override { ASSERT_EQ(s_install.exitCode, 0) << s_install.out << s_install.err; }

    static std::filesystem::path installed(const std::string &relative) {
        return s_prefix->path() / relative;
    }

    static inline TempDir *s_prefix = nullptr;
    static inline ProcessResult s_install;
};

TEST_F(InstalledLayout, PutsTheProgramTheLibraryTheMenuEntryAndTheTypeInPlace) {
    // The program and its library keep the build tree's bin/ and lib/ in a folder of their own;
    // bin/ of the prefix links to the program.
    EXPECT_TRUE(std::filesystem::is_regular_file(installed("lib/tessaly/bin/Quorlan")));
    EXPECT_TRUE(std::filesystem::is_regular_file(installed("lib/tessaly/lib/Quorlan.debug.so")));
    EXPECT_EQ(std::filesystem::read_symlink(installed("bin/Quorlan")),
              "../lib/tessaly/bin/Quorlan");
    EXPECT_FALSE(std::filesystem::exists(installed("lib/Quorlan.debug.so")));

    // The menu entry starts the program, shows the icon and opens the type installed beside it.
    std::string entry = readFile(installed("share/applications/Quorlan.desktop"));
    for (const char *line :
         {"\nExec=Quorlan %F\n", "\nIcon=tessaly\n", "\nMimeType=application/x-fcpxml;\n"})
        EXPECT_NE(entry.find(line), std::string::npos) << line;
    EXPECT_TRUE(std::filesystem::is_regular_file(
        installed("share/icons/hicolor/scalable/apps/tessaly.svg")));
    std::string type = readFile(installed("share/mime/packages/tessaly.xml"));
    EXPECT_NE(type.find("<mime-type type=\"application/x-fcpxml\">"), std::string::npos);
}

TEST_F(InstalledLayout, EveryRunPathIsRelativeToTheInstalledFile) {
    // Nothing installed may load from the working directory, the build tree or any other fixed
    // place: the prefix can be moved, and unpacked packages are run from a scratch folder.
    std::size_t seen = 0;
    for (const RunPathEntry &found : runPathEntries(s_prefix->path())) {
        ++seen;
        EXPECT_EQ(found.entry.rfind("$ORIGIN", 0), 0u) << found.file << ": '" << found.entry << "'";
    }
    EXPECT_GT(seen, 0u) << "the launcher's own run path was not read";
}

TEST_F(InstalledLayout, TheInstalledProgramFindsItsLibraryThroughTheRunPath) {
    // The loader's own account of what it would map, as ldd shows it. $ORIGIN is the folder of
    // the program itself, not of the link it was started through.
    ProcessResult trace =
        runProcess({installed("bin/Quorlan").string()}, {{"LD_TRACE_LOADED_OBJECTS", "1"}});
    EXPECT_EQ(trace.exitCode, 0) << trace.err;
    EXPECT_NE(trace.out.find("Quorlan.debug.so => " +
                             installed("lib/tessaly/bin/../lib/Quorlan.debug.so").string()),
              std::string::npos)
        << trace.out;
}

TEST_F(InstalledLayout, TheInstalledProgramShowsTheWindow) {
    ProcessResult result =
        runProcess({installed("bin/Quorlan").string()},
                   {{"QT_QPA_PLATFORM", "offscreen"}, {"LD_PRELOAD", QUORLAN_WINDOW_PROBE}});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("probe: window shown"), std::string::npos) << result.out;
}

} // namespace
