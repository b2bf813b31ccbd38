#include <dlfcn.h>

#include <gtest/gtest.h>

namespace tessaly::testing {
namespace {

TEST(EntryPoint, TheLibraryShowsOnlyItsEntryUnderBothNames) {
    // Loading runs no application code: the entry point is only looked up, never called.
    void *library = dlopen(QUORLAN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    void *entry = dlsym(library, "__debug_main_executable_dylib_entry_point");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(dlsym(library, "main"), entry);
    // Nothing else of the library is visible from outside.
    EXPECT_EQ(dlsym(library, "tessaly_run_application"), nullptr);
    EXPECT_EQ(dlsym(library, "tessaly_library_entry"), nullptr);
}

} // namespace
} // namespace tessaly::testing
