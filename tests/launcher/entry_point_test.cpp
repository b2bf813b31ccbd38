#include "fake_platform.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

using tessaly::testing::addressOf;
using tessaly::testing::FakePlatform;

namespace {

int library; // its address stands for the library's handle
extern "C" int epAliasEntry(int, char **) {
    return 7;
}
extern "C" int epMain(int, char **) {
    return 8;
}
extern "C" int epNamedEntry(int, char **) {
    return 9;
}
extern "C" bool epIsPseudoDylib(void *) {
    return true;
}
extern "C" bool epIsOrdinaryLibrary(void *) {
    return false;
}

TEST(DebugDylibHandle, TheEnvironmentChoosesWhatIsOpenedAndWhatKindItMustBe) {
    struct Case {
        const char *jitLink; // null: unset
        const char *interposed;
        const char *agentsName;        // the name the agent supplies, if any
        bool (*isPseudoDylib)(void *); // null: the loader cannot tell
        const char *opened;
        bool refused; // the opened library is of the wrong kind
    };
    const char *agents = "/agent/Quorlan.debug.so";
    for (Case c : {
             Case{nullptr, nullptr, nullptr, nullptr, "@rpath/Quorlan.debug.so", false},
             Case{"NO", nullptr, nullptr, nullptr, "@rpath/Quorlan.debug.so", false},
             Case{"0", nullptr, nullptr, nullptr, "@rpath/Quorlan.debug.so", false},
             Case{"", nullptr, nullptr, nullptr, "@rpath/Quorlan.debug.so", false},
             Case{"yes", nullptr, nullptr, nullptr, "@rpath/Quorlan.debug.so", false},
             Case{"YES", nullptr, nullptr, nullptr, "Quorlan.debug.so", false},
             // Not interposed: the kind is not checked.
             Case{"1", "NO", nullptr, epIsPseudoDylib, "Quorlan.debug.so", false},
             Case{"1", "1", agents, epIsPseudoDylib, agents, false},
             Case{"1", "1", agents, epIsOrdinaryLibrary, agents, true},
             Case{"YES", "YES", nullptr, epIsOrdinaryLibrary, "./Quorlan.debug.so", false},
             Case{"YES", "YES", nullptr, epIsPseudoDylib, "./Quorlan.debug.so", true},
             Case{"YES", "YES", nullptr, nullptr, "./Quorlan.debug.so", false},
         }) {
        SCOPED_TRACE(::testing::Message()
                     << (c.jitLink ? c.jitLink : "unset") << ", "
                     << (c.interposed ? c.interposed : "unset") << ": " << c.opened);
        FakePlatform fake;
        fake.embedThisBuildsStrings();
        for (auto [name, value] : {std::pair{"__PREVIEWS_JIT_LINK", c.jitLink},
                                   {"__PREVIEWS_INTERPOSED_DEBUG_DLIB", c.interposed},
                                   {"__PREVIEWS_EXECUTABLE_DYLIB_NAME", c.agentsName}}) {
            if (value)
                fake.environment[name] = value;
        }
        if (c.isPseudoDylib)
            fake.globals["_dyld_is_pseudodylib"] = addressOf(c.isPseudoDylib);
        fake.addLibrary(c.opened, &library);
        if (c.refused) {
            EXPECT_LAUNCHER_ABORT(fake, getDebugDylibHandle(), "Debug dylib handle: 0x");
            continue;
        }
        EXPECT_EQ(getDebugDylibHandle(), &library);
        EXPECT_EQ(fake.opened, std::vector<std::string>{c.opened});
    }
}

TEST(DebugDylibHandle, WithoutInstallNameTheRelativePathIsOpened) {
    FakePlatform fake;
    fake.embedThisBuildsStrings();
    fake.sections[QuorlanInstallNameString] = "";
    fake.addLibrary("Quorlan.debug.so", &library);
    EXPECT_EQ(getDebugDylibHandle(), &library);
}

TEST(DebugDylibHandle, TheLongestRelativePathStillGetsItsPrefix) {
    FakePlatform fake;
    std::string longest(1023, 'l');
    fake.sections[QuorlanRelativePathString] = longest;
    fake.addLibrary("./" + longest, &library);
    fake.environment["__PREVIEWS_JIT_LINK"] = "YES";
    fake.environment["__PREVIEWS_INTERPOSED_DEBUG_DLIB"] = "YES";
    EXPECT_EQ(getDebugDylibHandle(), &library);
}

TEST(DebugDylibHandle, AMissingLibraryAbortsWithTheLoadersText) {
    FakePlatform fake;
    fake.embedThisBuildsStrings();
    EXPECT_LAUNCHER_ABORT(
        fake, getDebugDylibEntryPoint(),
        "Failed to load '@rpath/Quorlan.debug.so': cannot open shared object file: No "
        "such file or directory");
    fake.openErrorText = nullptr;
    EXPECT_LAUNCHER_ABORT(fake, getDebugDylibEntryPoint(),
                          "Failed to load '@rpath/Quorlan.debug.so'\n");
}

/// The entry functions named in `names`: "alias", "named" (start_app) and "main".
std::map<std::string, void *> entries(const std::string &names) {
    std::map<std::string, void *> result;
    if (names.find("alias") != std::string::npos)
        result["__debug_main_executable_dylib_entry_point"] = addressOf(epAliasEntry);
    if (names.find("named") != std::string::npos)
        result["start_app"] = addressOf(epNamedEntry);
    if (names.find("main") != std::string::npos)
        result["main"] = addressOf(epMain);
    return result;
}

TEST(DebugDylibEntryPoint, IsLookedUpByNameAliasAndMainInTheLibraryThenByNameEverywhere) {
    struct Case {
        const char *what;
        bool library;          // whether the build names a library
        const char *entryName; // as embedded, with the linker's underscore
        const char *inLibrary;
        const char *inProcess;
        const char *found; // empty: the process ends
    };
    for (Case c : {
             Case{"the alias before main", true, "", "alias main", "", "alias"},
             Case{"the name before main", true, "_start_app", "named main", "", "named"},
             Case{"main", true, "_start_app", "main", "", "main"},
             Case{"the name anywhere", true, "_start_app", "", "named", "named"},
             Case{"nothing without a name", true, "", "", "", ""},
             Case{"nothing with a name", true, "_start_app", "", "", ""},
             // Without a library the framework agent supplies the entry.
             Case{"the agent's alias", false, "", "", "alias", "alias"},
             Case{"the agent's name", false, "_start_app", "", "named", "named"},
             Case{"nothing from the agent", false, "_start_app", "", "", ""},
         }) {
        SCOPED_TRACE(c.what);
        FakePlatform fake;
        if (c.library) {
            fake.embedThisBuildsStrings();
            fake.addLibrary("@rpath/Quorlan.debug.so", &library, entries(c.inLibrary));
        }
        fake.sections[QuorlanEntryPointNameString] = c.entryName;
        fake.globals = entries(c.inProcess);
        if (*c.found) {
            EXPECT_EQ(addressOf(getDebugDylibEntryPoint()), entries(c.found).begin()->second);
            EXPECT_EQ(fake.opened.size(), c.library ? 1u : 0u);
        } else {
            EXPECT_LAUNCHER_ABORT(fake, getDebugDylibEntryPoint(),
                                  std::string("No entry point found. Checked '") +
                                      (*c.entryName ? "start_app" : "\\(null\\)") + "'");
        }
    }
}

TEST(DebugDylibEntryPoint, HandleAndEntryAreResolvedOnce) {
    FakePlatform fake;
    fake.embedThisBuildsStrings();
    fake.addLibrary("@rpath/Quorlan.debug.so", &library, {{"main", addressOf(epMain)}});
    getDebugDylibEntryPoint();
    fake.log.clear();
    EXPECT_EQ(getDebugDylibEntryPoint(), &epMain);
    EXPECT_EQ(getDebugDylibHandle(), &library);
    EXPECT_EQ(fake.opened.size(), 1u);
    EXPECT_TRUE(fake.log.empty());
}

} // namespace
