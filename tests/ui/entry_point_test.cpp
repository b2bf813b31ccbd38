#include "launcher/elf_file.h"

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace tessaly::testing {
namespace {

TEST(EntryPoint, TheEntryRecordPointsAtTheExportedEntry) {
    // Where the record lies is only known from the file's section table.
    const ElfFile file(QUORLAN_LIBRARY);
    const auto section = file.section("__swift5_entry");
    const auto record = file.contents("__swift5_entry");
    ASSERT_TRUE(section && record) << QUORLAN_LIBRARY;
    ASSERT_EQ(record->size(), 8u);
    std::int32_t offset;
    std::uint32_t flags;
    std::memcpy(&offset, record->data(), 4);
    std::memcpy(&flags, record->data() + 4, 4);
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
    EXPECT_EQ(base + section->sh_addr + std::intptr_t(offset),
              reinterpret_cast<std::uintptr_t>(entry));

    // Nothing else of the library is visible from outside.
    EXPECT_EQ(dlsym(library, "tessaly_run_application"), nullptr);
    EXPECT_EQ(dlsym(library, "tessaly_library_entry"), nullptr);
}

} // namespace
} // namespace tessaly::testing
