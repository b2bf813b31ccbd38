// The loader layer the program uses, on the real dynamic loader, in this test process.

#include "launcher/platform.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace tessaly::testing;

namespace {

const QuorlanPlatform &real() {
    return *quorlanSystemPlatform();
}

TEST(SystemPlatform, ImagesAndSectionsOfTheProgramAndTheLibrary) {
    void *library = real().open(QUORLAN_FAKE_APPLICATION);
    ASSERT_NE(library, nullptr) << real().openError();
    // The real application library lies along this program's run path (bin/../lib); the
    // stand-in, loaded from elsewhere under the same name, must be the one returned.
    EXPECT_EQ(real().open("@rpath/Quorlan.debug.so"), library) << real().openError();

    EXPECT_EQ(std::filesystem::path(real().imageName(0)),
              std::filesystem::canonical("/proc/self/exe"));
    // The loader names the main program with an empty text; its handle still finds its header.
    EXPECT_EQ(real().imageHeaderOfHandle(dlopen(nullptr, RTLD_NOW)), real().imageHeader(0));

    // The library's handle finds the header the loader mapped it at.
    Dl_info info;
    ASSERT_NE(dladdr(dlsym(library, "__debug_main_executable_dylib_entry_point"), &info), 0);
    EXPECT_EQ(real().imageHeaderOfHandle(library), info.dli_fbase);

    std::size_t size = 0;
    EXPECT_NE(real().sectionData(info.dli_fbase, ".text", &size), nullptr);
    EXPECT_NE(real().sectionData(real().imageHeader(0), ".text", &size), nullptr);
    EXPECT_GT(size, 0u);
    int notAnImage = 0;
    EXPECT_EQ(real().sectionData(&notAnImage, ".text", &size), nullptr);
    EXPECT_EQ(size, 0u);
}

TEST(SystemPlatform, RunPathNamesResolveBesideTheExecutableOrSayWhereTheyWereSought) {
    EXPECT_EQ(real().open("@rpath/NoSuchLibrary.so"), nullptr);
    EXPECT_EQ(std::string(real().openError()),
              "@rpath/NoSuchLibrary.so: no such file along the run path "
              "'$ORIGIN:$ORIGIN/../lib'");

    // This test program lives in bin/; a library copied beside it is found through $ORIGIN.
    std::filesystem::path self = std::filesystem::canonical("/proc/self/exe");
    std::filesystem::path copy = self.parent_path() / "QuorlanRunPathProbe.so";
    std::filesystem::copy_file(QUORLAN_FAKE_APPLICATION, copy,
                               std::filesystem::copy_options::overwrite_existing);
    void *handle = real().open("@rpath/QuorlanRunPathProbe.so");
    std::filesystem::remove(copy);
    ASSERT_NE(handle, nullptr) << real().openError();
    EXPECT_NE(real().lookupInLibrary(handle, "__debug_main_executable_dylib_entry_point"), nullptr);
    EXPECT_EQ(real().openError(), nullptr);
}

TEST(SystemPlatform, StandardErrorIsAppendedToTheFileButNeverThroughALink) {
    TempDir dir;
    std::filesystem::path file = dir / "agent-stderr.txt";
    std::filesystem::path link = dir / "link-stderr.txt";
    writeFile(file, "earlier\n");
    std::filesystem::create_symlink(file, link);
    for (const std::filesystem::path &target : {link, file}) {
        EXPECT_EXIT(
            {
                real().redirectStandardError(target.c_str());
                std::fputs("later\n", stderr);
                std::exit(0);
            },
            ::testing::ExitedWithCode(0), "");
    }
    // The write through the link stayed on the test's own standard error.
    EXPECT_EQ(readFile(file), "earlier\nlater\n");
}

} // namespace
