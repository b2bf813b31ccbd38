#include "fake_platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using tessaly::testing::FakePlatform;
using tessaly::testing::LogLine;

namespace {

TEST(LauncherLog, SettingsNameTheLeastSevereLevelAndTheCopyOnStandardError) {
    struct Case {
        const char *value;
        unsigned enabled;
        int copy;
    };
    const unsigned error = 1u << QuorlanLogError;
    const unsigned usual = error | 1u << QuorlanLogDefault;
    const unsigned all = usual | 1u << QuorlanLogDebug;
    for (Case c :
         {Case{nullptr, usual, 0}, Case{"", usual, 0}, Case{"debug", all, 0}, Case{"DEBUG", all, 0},
          Case{"default", usual, 0}, Case{"error", error, 0}, Case{"off", 0, 0},
          Case{"debug,stderr", all, 1}, Case{"stderr", usual, 1}, Case{"verbose", usual, 0},
          Case{"debugging", usual, 0}, Case{",error,", error, 0}}) {
        SCOPED_TRACE(c.value ? c.value : "unset");
        QuorlanLogSettings settings = quorlanParseLogSettings(c.value);
        EXPECT_EQ(settings.enabledLevels, c.enabled);
        EXPECT_EQ(settings.copyToStandardError, c.copy);
    }
}

TEST(LauncherLog, PrivacyAnnotationsAreDroppedFromFormats) {
    struct Case {
        const char *format;
        const char *plain;
    };
    for (Case c :
         {Case{"Found `%{public}s`", "Found `%s`"},
          Case{"(%{public}zu > %{public}zu)", "(%zu > %zu)"},
          Case{"%{private}p and %x", "%p and %x"}, Case{"100%% {public}", "100%% {public}"},
          Case{"%%{public}s", "%%{public}s"}, Case{"ends with %{", "ends with %{"}}) {
        SCOPED_TRACE(c.format);
        char out[64];
        quorlanPlainFormat(c.format, out, sizeof out);
        EXPECT_STREQ(out, c.plain);
    }
    // A short buffer is cut, and one byte of room still gets its terminator.
    char small[5];
    quorlanPlainFormat("abcdefgh", small, sizeof small);
    EXPECT_STREQ(small, "abcd");
    quorlanPlainFormat("abcdefgh", small, 1);
    EXPECT_STREQ(small, "");
    // An escaped percent sign that does not fit whole is dropped, not written past the end.
    std::memset(small, 'x', sizeof small);
    quorlanPlainFormat("a%%", small, 3);
    EXPECT_STREQ(small, "a%");
}

TEST(LauncherLog, OnlyEnabledLevelsReachTheSystemLogAndTheCopyAndLongLinesAreCut) {
    FakePlatform fake;
    fake.setLogSetting("default,stderr");
    const std::string cut(4095, 'x');
    ::testing::internal::CaptureStderr();
    quorlanLog(QuorlanLogDebug, "hidden %d", 1);
    quorlanLog(QuorlanLogDefault, "shown %{public}s", "text");
    quorlanLog(QuorlanLogError, "%sy", cut.c_str());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Quorlan[default]: shown text\nQuorlan[error]: " + cut + "\n");
    EXPECT_EQ(fake.log,
              (std::vector<LogLine>{{QuorlanLogDefault, "shown text"}, {QuorlanLogError, cut}}));
}

} // namespace
