// Where the build's programs and libraries may load from, and what only an install into a fresh
// prefix shows. The package's files, the library the unpacked program resolves and its start
// from there are checked by scripts/check-package; how the program runs is the process tests'.

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

TEST(InstalledLayout, RunPathsAreRelativeAndTheMenuEntryStartsTheProgram) {
    TempDir prefix;
    ChildRun install = runProcess(
        {CMAKE_COMMAND, "--install", TESSALY_BINARY_DIR, "--prefix", prefix.path().string()}, {});
    ASSERT_EQ(install.status, 0) << install.out << install.err;

    // Nothing installed may load from the working directory, the build tree or any other fixed
    // place: the prefix can be moved, and unpacked packages are run from a scratch folder.
    std::size_t seen = 0;
    for (const RunPathEntry &found : runPathEntries(prefix.path())) {
        ++seen;
        EXPECT_EQ(found.entry.rfind("$ORIGIN", 0), 0u) << found.file << ": '" << found.entry << "'";
    }
    EXPECT_GT(seen, 0u) << "the launcher's own run path was not read";

    // The menu entry starts the program, shows the icon and opens the type installed beside it.
    std::string entry = readFile(prefix / "share/applications/Quorlan.desktop");
    for (const char *line :
         {"\nExec=Quorlan %F\n", "\nIcon=tessaly\n", "\nMimeType=application/x-fcpxml;\n"})
        EXPECT_NE(entry.find(line), std::string::npos) << line;
}

} // namespace
