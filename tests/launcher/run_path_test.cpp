// The build's run paths, read from its files. The installed program is scripts/check-package's.

#include "elf_file.h"

#include <gtest/gtest.h>

#include <cstring>
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
            const ElfFile file(item.path());
            const std::string dynamic = file.contents(".dynamic").value_or("");
            const std::string strings = file.contents(".dynstr").value_or("");
            for (std::size_t at = 0; at + sizeof(Elf64_Dyn) <= dynamic.size();
                 at += sizeof(Elf64_Dyn)) {
                Elf64_Dyn entry;
                std::memcpy(&entry, dynamic.data() + at, sizeof entry);
                if ((entry.d_tag != DT_RUNPATH && entry.d_tag != DT_RPATH) ||
                    entry.d_un.d_val >= strings.size())
                    continue;
                const std::string list = strings.c_str() + entry.d_un.d_val;
                ++seen;
                // Bounded by colons, an empty entry shows as two in a row.
                EXPECT_EQ((":" + list + ":").find("::"), std::string::npos)
                    << item.path() << ": '" << list << "'";
            }
        }
    }
    EXPECT_GT(seen, 0u) << "the launcher's own run path was not read";
}

} // namespace
