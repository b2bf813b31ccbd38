#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/wait.h>

using tessaly::testing::readFile;
using tessaly::testing::TempDir;
using tessaly::testing::writeFile;
namespace fs = std::filesystem;

namespace {

const std::string kDocument = R"(<fcpxml version="1.10"><resources>
<format id="r1"/><format id="r2"/>
<asset id="r3" format="r2"><media-rep src="file:///m/A.braw"/></asset>
<asset id="r4" format="r1"><media-rep src="file:///Volumes/Caf%C3%A9/Kid&apos;s%20B.mov"/></asset>
</resources><library><event><project><sequence format="r1"><spine><asset-clip ref="r4"/></spine></sequence></project></event></library></fcpxml>
)";

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string shellQuoted(const std::string &text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

ToolRun runTool(const TempDir &dir, const std::vector<std::string> &args) {
    std::string command = shellQuoted(TESSALY_RELINK_TOOL);
    for (const auto &arg : args)
        command += " " + shellQuoted(arg);
    command += " >" + shellQuoted((dir / "stdout").string()) + " 2>" +
               shellQuoted((dir / "stderr").string());
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(dir / "stdout"),
            readFile(dir / "stderr")};
}

} // namespace

TEST(RelinkTool, UsageErrorsExitWithTwo) {
    TempDir dir;
    EXPECT_EQ(runTool(dir, {}).status, 2);
    const ToolRun twoOutputs = runTool(dir, {"--output", "x.fcpxml", "a.fcpxml", "b.fcpxml"});
    EXPECT_EQ(twoOutputs.status, 2);
    EXPECT_NE(twoOutputs.err.find("Usage: tessaly-relink"), std::string::npos);
    EXPECT_EQ(runTool(dir, {"--frobnicate", "a.fcpxml"}).status, 2);
    const ToolRun help = runTool(dir, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(
        help.out.rfind("Usage: tessaly-relink [--dry-run] [--json] [--output PATH] INPUT...", 0),
        0u);
}

TEST(RelinkTool, PlainReportForEachInput) {
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kDocument);
    writeFile(dir / "Broken.fcpxml", "<fcpxml>");
    const ToolRun run =
        runTool(dir, {(dir / "Day1.fcpxml").string(), (dir / "Broken.fcpxml").string()});
    EXPECT_EQ(run.status, 1);
    const fs::path output = dir / "Day1_braw.fcpxml";
    EXPECT_EQ(run.out,
              (dir / "Day1.fcpxml").string() +
                  ": 1 clip source relinked, 1 format "
                  "removed, written to " +
                  output.string() + "\n" +
                  "Kid's B: /Volumes/Café/Kid's B.mov \u2192 /Volumes/Café/Kid's B.braw\n");
    // An apply reads the copy it made, so the message names the copy, as the window does.
    EXPECT_EQ(run.err.rfind((dir / "Broken.fcpxml").string() +
                                ": \u201CBroken_braw.fcpxml\u201D is not well-formed XML:",
                            0),
              0u)
        << run.err;
    EXPECT_NE(readFile(output).find("src=\"file:///Volumes/Caf%C3%A9/Kid's%20B.braw\""),
              std::string::npos);
    EXPECT_EQ(readFile(dir / "Day1.fcpxml"), kDocument);
}

TEST(RelinkTool, JsonReportOfAPreviewAndAFailure) {
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kDocument);
    const ToolRun run = runTool(dir, {"--dry-run", "--json", (dir / "Day1.fcpxml").string(),
                                      (dir / "Missing.fcpxml").string()});
    EXPECT_EQ(run.status, 1);
    const auto json = nlohmann::json::parse(run.out);
    ASSERT_EQ(json["runs"].size(), 2u);
    const auto &ok = json["runs"][0];
    EXPECT_EQ(ok["ok"], true);
    EXPECT_EQ(ok["dryRun"], true);
    EXPECT_TRUE(ok["output"].is_null());
    EXPECT_EQ(ok["document"], (dir / "Day1.fcpxml").string());
    ASSERT_EQ(ok["changes"].size(), 1u);
    EXPECT_EQ(ok["changes"][0]["stem"], "Kid's B");
    EXPECT_EQ(ok["changes"][0]["oldSrc"], "/Volumes/Café/Kid's B.mov");
    EXPECT_EQ(ok["changes"][0]["newAssetID"], "r5");
    EXPECT_EQ(ok["brawFormat"], nlohmann::json({{"id", "r2"}}));
    EXPECT_EQ(ok["orphanFormatsRemoved"], nlohmann::json({"r1"}));
    const auto &failed = json["runs"][1];
    EXPECT_EQ(failed["ok"], false);
    EXPECT_EQ(failed["error"],
              "Cannot read \u201CMissing.fcpxml\u201D: No such file or directory.");
    EXPECT_FALSE(fs::exists(dir / "Day1_braw.fcpxml"));
}

TEST(RelinkTool, OutputOptionNamesTheCopy) {
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kDocument);
    const ToolRun run = runTool(dir, {"--json", "--output", (dir / "Final.fcpxml").string(),
                                      (dir / "Day1.fcpxml").string()});
    EXPECT_EQ(run.status, 0) << run.err;
    const auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["runs"][0]["output"], (dir / "Final.fcpxml").string());
    EXPECT_TRUE(fs::exists(dir / "Final.fcpxml"));
}
