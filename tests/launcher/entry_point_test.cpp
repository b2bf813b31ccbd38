#include "fake_platform.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using tessaly::testing::addressOf;
using tessaly::testing::FakePlatform;

namespace {

int library; // its address stands for the library's handle
bool (*const pseudoDylib)(void *) = [](void *) { return true; };
bool (*const ordinaryLibrary)(void *) = [](void *) { return false; };
/// Their addresses stand for entry functions: the lookup only hands addresses on.
int named, alias, mainEntry, namedAnywhere;
const char *const aliasName = "__debug_main_executable_dylib_entry_point";

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

// Each lookup below finds the first entry still there; taking it away uncovers the next.
TEST(DebugDylibEntryPoint, IsTheNameThenTheAliasThenMainInTheLibraryThenTheNameAnywhere) {
    FakePlatform fake;
    fake.sections[QuorlanEntryPointNameString] = "_start_app"; // with the linker's underscore
    fake.addLibrary("@rpath/Quorlan.debug.so", &library,
                    {{"start_app", &named}, {aliasName, &alias}, {"main", &mainEntry}});
    fake.globals["start_app"] = &namedAnywhere;
    for (auto [symbol, entry] :
         {std::pair{"start_app", &named}, {aliasName, &alias}, {"main", &mainEntry}}) {
        SCOPED_TRACE(symbol);
        EXPECT_EQ(addressOf(getDebugDylibEntryPoint()), entry);
        fake.librarySymbols[&library].erase(symbol);
        _cachedDebugDylibEntryPoint = nullptr;
    }
    EXPECT_EQ(addressOf(getDebugDylibEntryPoint()), &namedAnywhere);
    fake.globals.clear();
    _cachedDebugDylibEntryPoint = nullptr;
    EXPECT_LAUNCHER_ABORT(getDebugDylibEntryPoint(), "No entry point found\\. Checked 'start_app'");
}

} // namespace
