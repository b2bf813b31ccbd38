#include <dlfcn.h>
#include <elf.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

/// The bytes and load address of the section `name` in the 64-bit ELF file `bytes`.
struct Section {
    std::vector<unsigned char> bytes;
    std::uint64_t address = 0;
};

std::optional<Section> readSection(const std::string &bytes, const char *name) {
    if (bytes.size() < sizeof(Elf64_Ehdr))
        return std::nullopt;
    Elf64_Ehdr header;
    std::memcpy(&header, bytes.data(), sizeof header);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64)
        return std::nullopt;
    const auto sectionHeader = [&](std::size_t index) {
        Elf64_Shdr section;
        std::memcpy(&section, bytes.data() + header.e_shoff + index * header.e_shentsize,
                    sizeof section);
        return section;
    };
    const Elf64_Shdr names = sectionHeader(header.e_shstrndx);
    for (std::size_t i = 0; i < header.e_shnum; ++i) {
        const Elf64_Shdr section = sectionHeader(i);
        if (std::strcmp(bytes.data() + names.sh_offset + section.sh_name, name) != 0)
            continue;
        const auto *start =
            reinterpret_cast<const unsigned char *>(bytes.data()) + section.sh_offset;
        return Section{{start, start + section.sh_size}, section.sh_addr};
    }
    return std::nullopt;
}

TEST(EntryPoint, TheEntryRecordPointsAtTheExportedEntry) {
    std::ifstream file(QUORLAN_LIBRARY, std::ios::binary);
    ASSERT_TRUE(file) << QUORLAN_LIBRARY;
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    const std::optional<Section> record = readSection(bytes, "__swift5_entry");
    ASSERT_TRUE(record);
    ASSERT_EQ(record->bytes.size(), 8u);
    std::int32_t offset;
    std::uint32_t flags;
    std::memcpy(&offset, record->bytes.data(), 4);
    std::memcpy(&flags, record->bytes.data() + 4, 4);
    EXPECT_EQ(flags, 1u);

    // Loading runs no application code: the entry point is only looked up, never called.
    void *library = dlopen(QUORLAN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    void *entry = dlsym(library, "__debug_main_executable_dylib_entry_point");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(dlsym(library, "main"), entry);
    Dl_info info;
    ASSERT_NE(dladdr(entry, &info), 0);
    const auto base = reinterpret_cast<std::uintptr_t>(info.dli_fbase);
    EXPECT_EQ(base + record->address + std::intptr_t(offset),
              reinterpret_cast<std::uintptr_t>(entry));

    // Nothing else of the library is visible from outside.
    EXPECT_EQ(dlsym(library, "tessaly_run_application"), nullptr);
    EXPECT_EQ(dlsym(library, "tessaly_library_entry"), nullptr);
}

} // namespace
