#include "fake_platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using tessaly::testing::addressOf;
using tessaly::testing::FakePlatform;
using tessaly::testing::LogLine;

namespace {

int library;
/// Answers 20 and the argument count, so that a result shows both the call and its arguments.
const QuorlanEntryFunction applicationEntry = [](int argc, char **) { return 20 + argc; };
char programName[] = "Quorlan";
char *arguments[] = {programName, nullptr};

/// This build's configuration with the application library in place.
class ExecutorMain : public ::testing::Test {
protected:
    ExecutorMain() {
        fake.addLibrary(
            "@rpath/Quorlan.debug.so", &library,
            {{"__debug_main_executable_dylib_entry_point", addressOf(applicationEntry)}});
    }
    FakePlatform fake;
};

// The one place that pins the whole start-up log.
TEST_F(ExecutorMain, ANormalStartLogsEveryStepAndReturnsTheEntrysResult) {
    EXPECT_EQ(__debug_blank_executor_main(1, arguments), 21);
    std::vector<std::string> texts;
    for (const LogLine &line : fake.log)
        texts.push_back(line.text);
    ASSERT_EQ(texts.size(), 14u);
    std::vector<std::string> expected = {
        "Looking up debug dylib relative path",
        "Found debug dylib relative path string `Quorlan.debug.so`",
        "Looking up debug dylib entry point name",
        "No debug dylib entry point name defined.",
        "Looking up debug dylib install name",
        "Found debug dylib install name string `@rpath/Quorlan.debug.so`",
        "Looking for Previews JIT link entry point.",
        "No Previews JIT entry point found.",
        "Gave PreviewsInjection a chance to run and it returned, continuing with debug dylib.",
        "Looking for main entry point.",
        "Opening debug dylib with '@rpath/Quorlan.debug.so'",
        texts[11], // the handle's address
        "No entry point found. Checking for alias.",
        "Calling provided entry point.",
    };
    EXPECT_EQ(texts, expected);
    EXPECT_TRUE(fake.redirectedTo.empty());
}

TEST_F(ExecutorMain, TheAgentGetsStandardErrorTheLibraryAndTheCallbackAndMayReturn) {
    static std::string handedOver; // the relative path and the callback the agent's link gets
    void (*link)(int, char **, const char *, const char *) = [](int, char **, const char *path,
                                                                const char *callback) {
        handedOver = std::string(path) + " " + callback;
    };
    fake.globals["__previews_injection_jit_link_entrypoint"] = addressOf(link);
    fake.environment["__PREVIEWS_AGENT_STUB_EXECUTOR_STDERR_REDIRECT"] = "";
    fake.environment[QUORLAN_LOG_VARIABLE] = "default";
    ::testing::internal::CaptureStdout(); // the date and time of the start, for the agent
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(__debug_blank_executor_main(1, arguments), 21);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "\n================\n");
    ::testing::internal::GetCapturedStdout();

    EXPECT_EQ(handedOver, "Quorlan.debug.so __debug_blank_executor_run_user_entry_point");
    EXPECT_EQ(__debug_blank_executor_run_user_entry_point(1, arguments), 21);
    EXPECT_EQ(fake.redirectedTo, std::vector<std::string>{"/tmp/agent-stderr.txt"});
    EXPECT_EQ(fake.log,
              (std::vector<LogLine>{
                  {QuorlanLogDefault, "Redirecting agent stderr to /tmp/agent-stderr.txt"}}));
}

TEST_F(ExecutorMain, SkippingTheEntryWithoutARunLoopAborts) {
    fake.environment["__PREVIEWS_AGENT_SKIP_USER_ENTRY_POINT"] = "";
    EXPECT_LAUNCHER_ABORT(__debug_blank_executor_run_user_entry_point(1, arguments),
                          "Skipping user entry point in favor of just keeping the process "
                          "alive\\.\nFailed to find CFRunLoopRun\\.");
}

} // namespace
