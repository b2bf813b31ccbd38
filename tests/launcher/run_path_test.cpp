// The build's run paths, read from the files it made. Starting the program from an installed
// tree is scripts/check-package's part.

#include "elf_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

using tessaly::testing::ElfFile;

namespace {

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
