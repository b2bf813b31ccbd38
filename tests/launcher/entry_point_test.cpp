#include "fake_platform.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

using tessaly::testing::addressOf;
using tessaly::testing::FakePlatform;

namespace {

int library; // its address stands for the library's handle
bool (*const pseudoDylib)(void *) = [](void *) { return true; };
bool (*const ordinaryLibrary)(void *) = [](void *) { return false; };
const QuorlanEntryFunction aliasEntry = [](int, char **) { return 7; };
const QuorlanEntryFunction mainEntry = [](int, char **) { return 8; };
const QuorlanEntryFunction namedEntry = [](int, char **) { return 9; };

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
             Case{"1", "NO", nullptr, pseudoDylib, "Quorlan.debug.so", false},
             Case{"1", "1", agents, pseudoDylib, agents, false},
             Case{"1", "1", agents, ordinaryLibrary, agents, true},
             Case{"YES", "YES", nullptr, ordinaryLibrary, "./Quorlan.debug.so", false},
             Case{"YES", "YES", nullptr, pseudoDylib, "./Quorlan.debug.so", true},
             Case{"YES", "YES", nullptr, nullptr, "./Quorlan.debug.so", false},
         }) {
        SCOPED_TRACE(::testing::Message()
                     << (c.jitLink ? c.jitLink : "unset") << ", "
                     << (c.interposed ? c.interposed : "unset") << ": " << c.opened);
        FakePlatform fake;
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
            EXPECT_LAUNCHER_ABORT(getDebugDylibHandle(), "Debug dylib handle: 0x");
            continue;
        }
        EXPECT_EQ(getDebugDylibHandle(), &library);
        EXPECT_EQ(fake.opened, std::vector<std::string>{c.opened});
    }
}

TEST(DebugDylibHandle, AMissingLibraryAbortsWithTheLoadersText) {
    FakePlatform fake;
    EXPECT_LAUNCHER_ABORT(getDebugDylibEntryPoint(),
                          "Failed to load '@rpath/Quorlan.debug.so': cannot open shared object "
                          "file: No such file or directory");
    fake.openErrorText = nullptr;
    EXPECT_LAUNCHER_ABORT(getDebugDylibEntryPoint(), "Failed to load '@rpath/Quorlan.debug.so'\n");
}

/// The entry functions named in `names`: "alias", "named" (start_app) and "main".
std::map<std::string, void *> entries(const std::string &names) {
    std::map<std::string, void *> result;
    for (auto [word, symbol, function] :
         {std::tuple{"alias", "__debug_main_executable_dylib_entry_point", aliasEntry},
          {"named", "start_app", namedEntry},
          {"main", "main", mainEntry}}) {
        if (names.find(word) != std::string::npos)
            result[symbol] = addressOf(function);
    }
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
        if (!c.library)
            fake.sections[QuorlanRelativePathString] = "";
        fake.addLibrary("@rpath/Quorlan.debug.so", &library, entries(c.inLibrary));
        fake.sections[QuorlanEntryPointNameString] = c.entryName;
        fake.globals = entries(c.inProcess);
        if (*c.found) {
            EXPECT_EQ(addressOf(getDebugDylibEntryPoint()), entries(c.found).begin()->second);
            getDebugDylibEntryPoint(); // asked again, nothing is opened again
            EXPECT_EQ(fake.opened.size(), c.library ? 1u : 0u);
        } else {
            EXPECT_LAUNCHER_ABORT(getDebugDylibEntryPoint(),
                                  std::string("No entry point found. Checked '") +
                                      (*c.entryName ? "start_app" : "\\(null\\)") + "'");
        }
    }
}

} // namespace
