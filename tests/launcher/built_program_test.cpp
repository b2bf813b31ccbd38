// The built program and the build's run paths, read from their files. The installed program is
// scripts/check-package's.

#include "elf_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

using tessaly::testing::ElfFile;

namespace {

// The launcher's layer: the program links nothing beyond the C library, the loader and the
// application it starts, and carries this build's configuration in its own sections.
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

} // namespace
