#include "engine/run/sha256.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <thread>

#include <sys/stat.h>
#include <unistd.h>

using namespace tessaly::testing;
namespace fs = std::filesystem;

namespace {

const std::string kDocument = R"(<fcpxml version="1.10"><resources>
<format id="r1"/><format id="r2"/>
<asset id="r3" format="r2"><media-rep src="file:///m/A.braw"/></asset>
<asset id="r4" format="r1"><media-rep src="file:///Volumes/Caf%C3%A9/Kid&apos;s%20B.mov"/></asset>
</resources><library><event><project><sequence format="r1"><spine><asset-clip ref="r4"/></spine></sequence></project></event></library></fcpxml>
)";

/// The same document padded with a comment to about `bytes`: the same relink, more to write.
std::string padded(std::size_t bytes) {
    const std::size_t end = kDocument.size() - 10;
    return kDocument.substr(0, end) + "<!--" + std::string(bytes, '.') + "-->" +
           kDocument.substr(end);
}

/// Past a few kilobytes, for runs under a file-size limit.
const std::string kLargeDocument = padded(8000);

/// Runs the command-line tool with `args` to its end.
ChildRun runTool(const std::vector<std::string> &args, const ChildOptions &child = {}) {
    std::vector<std::string> argv{TESSALY_RELINK_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    return runChild(std::move(argv), child);
}

/// `text` with each @ replaced by `dir`: how the tables below name the files of their folder.
std::string withFolder(const TempDir &dir, std::string text) {
    const std::string folder = dir.path().string();
    for (auto found = text.find('@'); found != std::string::npos;
         found = text.find('@', found + folder.size()))
        text.replace(found, 1, folder);
    return text;
}

/// One entry a case puts in its folder, in the order given.
struct Entry {
    enum class Kind { File, Folder, Fifo, Link } kind;
    std::string path;              ///< below the case's folder
    std::string value = kDocument; ///< a file's bytes, or a link's target
    int mode = -1;                 ///< permission bits to give it, when not the default ones
};

void arrange(const TempDir &dir, const std::vector<Entry> &entries) {
    using enum Entry::Kind;
    for (const Entry &entry : entries) {
        const fs::path path = dir / entry.path;
        fs::create_directories(path.parent_path());
        if (entry.kind == File)
            writeFile(path, entry.value);
        else if (entry.kind == Folder)
            fs::create_directories(path);
        else if (entry.kind == Fifo)
            ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
        else
            fs::create_symlink(entry.value, path);
        if (entry.mode >= 0)
            fs::permissions(path, fs::perms(entry.mode));
    }
}

} // namespace

TEST(RelinkTool, UsageErrorsExitWithTwoAndShowTheUsage) {
    // Each is refused before any input is read.
    const std::vector<std::vector<std::string>> usageErrors{
        {}, {"--frobnicate", "A.fcpxml"}, {"--output=", "A.fcpxml"}, {"--output", "x", "A", "B"}};
    for (const auto &args : usageErrors) {
        const ChildRun run = runTool(args);
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find("\n\nUsage: tessaly-relink"), std::string::npos) << run.err;
    }
}

// --output=PATH is --output PATH; the change log goes beside the output, unless --no-log.
TEST(RelinkTool, OutputAndLogOptions) {
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kDocument);
    const std::string input = (dir / "Day1.fcpxml").string();
    EXPECT_EQ(runTool({"--output=" + (dir / "Joined.fcpxml").string(), input}).status, 0);
    EXPECT_TRUE(fs::exists(dir / "Joined.relink.log"));
    EXPECT_EQ(runTool({"--no-log", "--output", (dir / "Quiet.fcpxml").string(), input}).status, 0);
    EXPECT_TRUE(fs::exists(dir / "Quiet.fcpxml"));
    EXPECT_FALSE(fs::exists(dir / "Quiet.relink.log"));
}

// One line per input and one per change on standard output, a failure on standard error. Names
// are escaped: terminal controls, C1 controls (U+009B starts a sequence like ESC [), and the
// invisible characters that reorder text or end a line.
TEST(RelinkTool, PlainReportForEachInput) {
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kDocument);
    std::string document = kDocument;
    const std::string proxy = "Kid&apos;s%20B.mov";
    document.replace(document.find(proxy), proxy.size(),
                     "B%1B%5B31m%E2%80%AE%C2%9B%E2%80%A8%E2%81%A6.mov");
    writeFile(dir / "Day2.fcpxml", document);
    const std::string evil = "Evil\x1B]0;owned\x07\nforged.fcpxml";
    writeFile(dir / evil, "<fcpxml>");

    const ChildRun preview = runTool({"--dry-run", withFolder(dir, "@/Day2.fcpxml")});
    EXPECT_EQ(preview.status, 0);
    const std::string stem = "B\\x1B[31m\\u202E\\u009B\\u2028\\u2066";
    EXPECT_EQ(preview.out, withFolder(dir, "@/Day2.fcpxml: preview, 1 clip source to relink, 0 "
                                           "formats to remove, 1 original missing, would write "
                                           "@/Day2_braw.fcpxml\n") +
                               stem + ": /Volumes/Café/" + stem + ".mov → /Volumes/Café/" + stem +
                               ".braw (missing)\n");

    const ChildRun run = runTool({withFolder(dir, "@/Day1.fcpxml"), (dir / evil).string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, withFolder(dir, "@/Day1.fcpxml: 1 clip source relinked, 0 formats removed, "
                                       "1 original missing, written to @/Day1_braw.fcpxml "
                                       "(change log @/Day1_braw.relink.log)\n"
                                       "Kid's B: /Volumes/Café/Kid's B.mov → /Volumes/Café/Kid's "
                                       "B.braw (missing)\n"));
    // The name's line break stays a line break of the message, indented like every further
    // line of a message, so it cannot pass for another input's report.
    EXPECT_EQ(run.err, withFolder(dir, "@/Evil\\x1B]0;owned\\x07\\x0Aforged.fcpxml: “Evil\\x1B]0;"
                                       "owned\\x07\n  forged.fcpxml” is not well-formed XML: "
                                       "unclosed element “fcpxml” (line 1, column 9).\n"));
}

// A change log that cannot be written is a warning: the output is already in place.
TEST(RelinkTool, JsonReportOfAnApplyAndAFailure) {
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kDocument);
    writeFile(dir / "Day1_braw.relink.log", "an earlier run's log");
    const ChildRun run =
        runTool({"--json", withFolder(dir, "@/Day1.fcpxml"), withFolder(dir, "@/Missing.fcpxml")});
    EXPECT_EQ(run.status, 1);
    const std::string expected = R"({"runs": [
        {"input": "@/Day1.fcpxml", "document": "@/Day1.fcpxml", "output": "@/Day1_braw.fcpxml",
         "log": null, "dryRun": false, "ok": true, "missingOriginals": 1,
         "ambiguousOriginals": 0, "searchFolders": [], "unreadableFolders": [],
         "brawFormat": {"id": "r2"}, "orphanFormatsRemoved": [], "changes": [
            {"stem": "Kid's B", "oldSrc": "/Volumes/Café/Kid's B.mov",
             "newSrc": "/Volumes/Café/Kid's B.braw", "oldAssetID": "r4", "newAssetID": "r5",
             "brawFound": false, "original": "missing"}]},
        {"input": "@/Missing.fcpxml", "ok": false, "missingOriginals": null, "log": null,
         "ambiguousOriginals": null, "searchFolders": [], "unreadableFolders": [],
         "error": "Cannot read “Missing.fcpxml”: No such file or directory."}]})";
    EXPECT_EQ(nlohmann::json::parse(run.out), nlohmann::json::parse(withFolder(dir, expected)));
    EXPECT_EQ(run.err, withFolder(dir, "@/Day1.fcpxml: warning: The change log could not be "
                                       "written to “@/Day1_braw.relink.log”: File exists. Give "
                                       "--overwrite to replace it.\n"));
    EXPECT_EQ(readFile(dir / "Day1_braw.relink.log"), "an earlier run's log");
}

// Originals in the folders given with --originals: one found, one ambiguous with its files, a
// folder that cannot be read named in one warning. Run as nobody, whom permissions bind.
TEST(RelinkTool, OriginalsInSearchFoldersAreReported) {
    TempDir dir;
    if (::geteuid() == 0 && runTool({"--version"}, {.asNobody = true}).status != 0)
        GTEST_SKIP() << "no unprivileged user to run as, and root ignores permissions";
    arrange(dir, {{Entry::Kind::File, "RAID/Day1/A.braw", ""},
                  {Entry::Kind::File, "RAID/a/B.braw", ""},
                  {Entry::Kind::File, "RAID/b/B.BRAW", ""},
                  {Entry::Kind::Folder, "RAID/Locked", "", 0},
                  {Entry::Kind::File, "Day1.fcpxml",
                   R"(<fcpxml version="1.10"><resources><format id="r1"/><format id="r2"/>
<asset id="r3" format="r2"><media-rep src="file:///m/Ref.braw"/></asset>
<asset id="r4" format="r1"><media-rep src="file:///L/A.mov"/></asset>
<asset id="r5" format="r1"><media-rep src="file:///L/B.mov"/></asset>
</resources></fcpxml>)"}});
    const std::vector<std::string> args = {"--dry-run", "--originals", withFolder(dir, "@/RAID"),
                                           withFolder(dir, "@/Day1.fcpxml")};
    const ChildRun plain = runTool(args, {.asNobody = true});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out, withFolder(dir, "@/Day1.fcpxml: preview, 2 clip sources to relink, 1 "
                                         "format to remove, 0 originals missing, 1 original "
                                         "ambiguous, would write @/Day1_braw.fcpxml\n"
                                         "A: /L/A.mov → @/RAID/Day1/A.braw\n"
                                         "B: /L/B.mov → /L/B.braw (ambiguous: 2 files)\n"
                                         "  @/RAID/a/B.braw\n"
                                         "  @/RAID/b/B.BRAW\n"));
    EXPECT_EQ(plain.err, withFolder(dir, "@/Day1.fcpxml: warning: This folder could not be read "
                                         "and was not searched for originals: “@/RAID/Locked”.\n"));

    std::vector<std::string> jsonArgs = args;
    jsonArgs.insert(jsonArgs.begin(), "--json");
    const ChildRun json = runTool(jsonArgs, {.asNobody = true});
    const auto run = nlohmann::json::parse(json.out)["runs"][0];
    EXPECT_EQ(run["searchFolders"], nlohmann::json::parse(withFolder(dir, R"(["@/RAID"])")));
    EXPECT_EQ(run["unreadableFolders"],
              nlohmann::json::parse(withFolder(dir, R"(["@/RAID/Locked"])")));
    EXPECT_EQ(run["ambiguousOriginals"], 1);
    EXPECT_EQ(run["missingOriginals"], 0);
    EXPECT_EQ(run["changes"], nlohmann::json::parse(withFolder(dir, R"([
        {"stem": "A", "oldSrc": "/L/A.mov", "newSrc": "@/RAID/Day1/A.braw", "oldAssetID": "r4",
         "newAssetID": "r6", "brawFound": true, "original": "searchFolder"},
        {"stem": "B", "oldSrc": "/L/B.mov", "newSrc": "/L/B.braw", "oldAssetID": "r5",
         "newAssetID": "r7", "brawFound": false, "original": "ambiguous",
         "candidates": ["@/RAID/a/B.braw", "@/RAID/b/B.BRAW"]}])")));
}

// Each case arranges a fresh folder, runs the program once and expects exactly this on standard
// error, @ standing for the folder. Every failing case must leave the folder exactly as it was:
// the input untouched, no output, no temporary.
struct FaultCase {
    const char *name;
    std::vector<Entry> entries;
    std::vector<std::string> args;
    std::string message; ///< standard error without the newline
    ChildOptions child = {};
};

/// Runs `fault` in a fresh folder in `root`.
void expectFault(const FaultCase &fault, const fs::path &root) {
    TempDir dir(root);
    arrange(dir, fault.entries);
    std::vector<std::string> args;
    for (const std::string &arg : fault.args)
        args.push_back(withFolder(dir, arg));
    const auto before = snapshot(dir.path());
    const ChildRun run = runTool(args, fault.child);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.err, withFolder(dir, fault.message) + "\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(snapshot(dir.path()), before);
}

class RelinkToolFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(RelinkToolFaults, FailsWithItsMessageAndChangesNothing) {
    const FaultCase &fault = GetParam();
    if (fault.child.asNobody && ::geteuid() == 0 &&
        runTool({"--version"}, {.asNobody = true}).status != 0)
        GTEST_SKIP() << "no unprivileged user to run as, and root ignores permissions";
    expectFault(fault, fs::temp_directory_path());
}

using enum Entry::Kind;
const ChildOptions kDiskFullAt4K{.fileSizeLimit = 4096};

const FaultCase kFaults[] = {
    // A lone - is a file name, never standard input (a read of which would hang here until the
    // child is killed).
    {"LoneDashIsAFileName",
     {},
     {"--dry-run", "-"},
     "-: Cannot read “-”: No such file or directory."},
    {"AfterTwoDashesAnOptionIsAFileName",
     {},
     {"--dry-run", "--", "--json"},
     "--json: Cannot read “--json”: No such file or directory."},
    {"FifoAsInput",
     {{Fifo, "pipe.fcpxml"}},
     {"@/pipe.fcpxml"},
     "@/pipe.fcpxml: Cannot read “pipe.fcpxml”: it is a named pipe, not a regular file."},
    {"DeviceAsInput",
     {},
     {"--output", "@/Zero.fcpxml", "/dev/zero"},
     "/dev/zero: Cannot read “zero”: it is a device, not a regular file."},
    {"FifoInsideABundle",
     {{File, "P.fcpxmld/Info.fcpxml"}, {Fifo, "P.fcpxmld/Media/feed"}},
     {"@/P.fcpxmld"},
     "@/P.fcpxmld: Failed to copy bundle: “Media/feed” in “P.fcpxmld” is a named pipe; only "
     "files, folders and links can be copied."},
    {"ExistingOutputWithoutOverwrite",
     {{File, "Day1.fcpxml"}, {File, "Day1_braw.fcpxml", "the user's own file"}},
     {"@/Day1.fcpxml"},
     "@/Day1.fcpxml: Failed to copy file: “Day1.fcpxml” could not be copied to "
     "“@/Day1_braw.fcpxml”: File exists. Give --overwrite to replace it."},
    {"OverwriteNeverReplacesAFolderThatIsNoBundle",
     {{File, "A.fcpxmld/Info.fcpxml"}, {File, "Work/mine.txt", "the user's own file"}},
     {"--overwrite", "--output", "@/Work", "@/A.fcpxmld"},
     "@/A.fcpxmld: Failed to copy bundle: “A.fcpxmld” could not be copied to “@/Work”: it is "
     "not an .fcpxmld bundle, so Tessaly does not replace it."},
    {"OverwriteNeverReplacesAFileThatIsNoDocument",
     {{File, "Day1.fcpxml"}, {File, "notes.txt", "the user's own file"}},
     {"--overwrite", "--output", "@/notes.txt", "@/Day1.fcpxml"},
     "@/Day1.fcpxml: Failed to copy file: “Day1.fcpxml” could not be copied to “@/notes.txt”: "
     "it is not an .fcpxml document, so Tessaly does not replace it."},
    {"OverwriteNeverReplacesALink",
     {{File, "Day1.fcpxml"},
      {File, "Elsewhere.fcpxml"},
      {Link, "Day1_braw.fcpxml", "Elsewhere.fcpxml"}},
     {"--overwrite", "@/Day1.fcpxml"},
     "@/Day1.fcpxml: Failed to copy file: “Day1.fcpxml” could not be copied to "
     "“@/Day1_braw.fcpxml”: it is a link, which Tessaly does not replace."},
    {"OverwriteNeverReplacesAnotherInput",
     {{File, "A.fcpxmld/Info.fcpxml"}, {File, "A_braw.fcpxmld/Info.fcpxml", "<fcpxml/>"}},
     {"--overwrite", "@/A.fcpxmld", "@/A_braw.fcpxmld"},
     "@/A.fcpxmld: Failed to copy bundle: “A.fcpxmld” could not be copied to "
     "“@/A_braw.fcpxmld”: it is one of the inputs.\n"
     "@/A_braw.fcpxmld: Invalid FCPXML - no <resources> section found."},
    {"OutputIsALinkToTheInput",
     {{File, "Day1.fcpxml"}, {Link, "Day1_braw.fcpxml", "Day1.fcpxml"}},
     {"@/Day1.fcpxml"},
     "@/Day1.fcpxml: Failed to copy file: “Day1.fcpxml” could not be copied to "
     "“@/Day1_braw.fcpxml”: it is a link to the input."},
    {"RequiredOriginalMissing",
     {{File, "Day1.fcpxml"}},
     {"--require-originals", "@/Day1.fcpxml"},
     "@/Day1.fcpxml: 1 of 1 .braw original of “Day1.fcpxml” is missing on this computer: "
     "“Kid's B.braw”. Nothing was written."},
    {"PreviewOntoTheInputReportsTheApplysRefusal",
     {{File, "Day1.fcpxml"}},
     {"--dry-run", "--overwrite", "--output", "@/Day1.fcpxml", "@/Day1.fcpxml"},
     "@/Day1.fcpxml: Failed to copy file: “Day1.fcpxml” could not be copied to "
     "“@/Day1.fcpxml”: it is the input itself."},
    {"OutputInAFolderWithoutWritePermission",
     {{File, "Day1.fcpxml"}, {Folder, "Locked", {}, 0555}},
     {"--output", "@/Locked/Out.fcpxml", "@/Day1.fcpxml"},
     "@/Day1.fcpxml: Failed to copy file: “Day1.fcpxml” could not be copied to "
     "“@/Locked/Out.fcpxml”: Permission denied.",
     {.asNobody = true}},
    {"BundleOutputInAFolderWithoutWritePermission",
     {{File, "B.fcpxmld/Info.fcpxml"}, {Folder, "Locked", {}, 0555}},
     {"--output", "@/Locked/Out.fcpxmld", "@/B.fcpxmld"},
     "@/B.fcpxmld: Failed to copy bundle: “B.fcpxmld” could not be copied to "
     "“@/Locked/Out.fcpxmld”: Permission denied.",
     {.asNobody = true}},
    {"FullDiskDuringAFileApply",
     {{File, "Big.fcpxml", kLargeDocument}},
     {"@/Big.fcpxml"},
     "@/Big.fcpxml: Failed to copy file: “Big.fcpxml” could not be copied to "
     "“@/Big_braw.fcpxml”: the disk is full.",
     kDiskFullAt4K},
    // What a user sees when a bundle's copy fails part way. The case's folder must let the
    // unprivileged run write its temporary there.
    {"UnreadableFileInsideABundle",
     {{Folder, ".", {}, 0777},
      {File, "B.fcpxmld/Info.fcpxml"},
      {File, "B.fcpxmld/Media/secret.bin", "not for everyone", 0}},
     {"@/B.fcpxmld"},
     "@/B.fcpxmld: Failed to copy bundle: “Media/secret.bin” in “B.fcpxmld” could not be read: "
     "Permission denied.",
     {.asNobody = true}},
    {"FullDiskDuringABundleCopy",
     {{File, "B.fcpxmld/Info.fcpxml"},
      {File, "B.fcpxmld/Media/cache.bin", std::string(20000, 'c')}},
     {"@/B.fcpxmld"},
     "@/B.fcpxmld: Failed to copy bundle: “B.fcpxmld” could not be copied to “@/B_braw.fcpxmld”: "
     "the disk is full.",
     kDiskFullAt4K},
    {"FullDiskWritingTheDocumentOfABundle",
     {{File, "B.fcpxmld/Info.fcpxml", kLargeDocument}},
     {"@/B.fcpxmld"},
     "@/B.fcpxmld: Failed to copy bundle: “B.fcpxmld” could not be copied to “@/B_braw.fcpxmld”: "
     "the disk is full.",
     kDiskFullAt4K},
    {"ReportToAFullDisk",
     {{File, "Day1.fcpxml"}},
     {"--dry-run", "--json", "@/Day1.fcpxml"},
     "tessaly-relink: the report could not be written to standard output: No space left on "
     "device.",
     {.outputToFull = true}},
};

INSTANTIATE_TEST_SUITE_P(Cases, RelinkToolFaults, ::testing::ValuesIn(kFaults),
                         [](const auto &test) { return std::string(test.param.name); });

namespace {

void expectOverwriteOnlyOnceComplete(const fs::path &root) {
    TempDir dir(root);
    writeFile(dir / "Day1.fcpxml", kDocument);
    writeFile(dir / "A.fcpxmld" / "Info.fcpxml", kDocument);
    writeFile(dir / "Day1_braw.fcpxml", "an earlier output");
    writeFile(dir / "A_braw.fcpxmld" / "stale.txt", "an earlier output");

    const std::vector<std::string> args{"--overwrite", (dir / "Day1.fcpxml").string(),
                                        (dir / "A.fcpxmld").string()};

    // The new output cannot be written: the earlier outputs stay as they were.
    const auto before = snapshot(dir.path());
    EXPECT_EQ(runTool(args, {.fileSizeLimit = 200}).status, 1);
    EXPECT_EQ(snapshot(dir.path()), before);

    const ChildRun run = runTool(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(readFile(dir / "Day1_braw.fcpxml").find("B.braw"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "A_braw.fcpxmld" / "stale.txt"));
    EXPECT_NE(readFile(dir / "A_braw.fcpxmld" / "Info.fcpxml").find("B.braw"), std::string::npos);
}

void expectTwoRunsToOneOutputEachWholeOrFailing(const fs::path &root) {
    TempDir dir(root);
    // Large enough that the two runs overlap.
    writeFile(dir / "A.fcpxmld" / "Info.fcpxml", padded(500000));
    ASSERT_EQ(runTool({(dir / "A.fcpxmld").string()}).status, 0);
    const std::string expected = readFile(dir / "A_braw.fcpxmld" / "Info.fcpxml");

    for (const bool overwrite : {false, true}) {
        SCOPED_TRACE(overwrite ? "--overwrite" : "no --overwrite");
        fs::remove_all(dir / "A_braw.fcpxmld");
        fs::remove(dir / "A_braw.relink.log");
        std::vector<std::string> args{(dir / "A.fcpxmld").string()};
        if (overwrite)
            args.insert(args.begin(), "--overwrite");
        ChildRun first, second;
        std::thread other([&] { first = runTool(args); });
        second = runTool(args);
        other.join();
        const int succeeded = (first.status == 0) + (second.status == 0);
        EXPECT_EQ(succeeded, overwrite ? 2 : 1) << first.err << second.err;
        // The run that lost says why.
        const std::string errors = first.err + second.err;
        EXPECT_EQ(errors.find(": File exists. Give --overwrite") != std::string::npos, !overwrite)
            << errors;
        EXPECT_EQ(readFile(dir / "A_braw.fcpxmld" / "Info.fcpxml"), expected);
        // The input, the output and its log.
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
    }
}

} // namespace

TEST(RelinkTool, OverwriteReplacesAnEarlierOutputOnlyOnceTheNewOneIsComplete) {
    expectOverwriteOnlyOnceComplete(fs::temp_directory_path());
}

TEST(RelinkTool, TwoRunsToOneOutputEachWriteAWholeDocumentOrFailCleanly) {
    expectTwoRunsToOneOutputEachWholeOrFailing(fs::temp_directory_path());
}

// A reader that goes away fails the report, not the runs: every input is processed. SIGTERM
// during an apply takes the hidden temporary with it.
TEST(RelinkTool, SignalsLeaveEveryInputRunAndNoTemporary) {
    TempDir dir;
    writeFile(dir / "A.fcpxml", kDocument);
    writeFile(dir / "C.fcpxml", kDocument);
    const ChildRun piped =
        runTool({"A.fcpxml", "C.fcpxml"}, {.outputToClosedPipe = true, .workingFolder = dir.path()});
    EXPECT_EQ(piped.status, 1) << piped.err;
    EXPECT_TRUE(fs::exists(dir / "C_braw.fcpxml"));
    const std::string tool = TESSALY_RELINK_TOOL;

    writeFile(dir / "Big.fcpxmld" / "Info.fcpxml", padded(1 << 20));
    writeFile(dir / "Big.fcpxmld" / "Media" / "cache.bin", std::string(std::size_t(64) << 20, 'c'));
    const ChildRun killed =
        runChild({"/bin/bash", "-c",
                  "'" + tool +
                      "' Big.fcpxmld & until compgen -G '.Big_braw.fcpxmld.tessaly-*'; do :; "
                      "done >/dev/null; kill -TERM $!; wait $!; echo $?"},
                 {.workingFolder = dir.path()});
    if (fs::exists(dir / "Big_braw.fcpxmld"))
        GTEST_SKIP() << "the apply ended before the signal came";
    EXPECT_EQ(killed.out, "143\n") << killed.err;
    for (const auto &entry : fs::directory_iterator(dir.path()))
        EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
}

namespace {

/// An exFAT image mounted through FUSE, as camera cards and drives shared with Macs are: no
/// exclusive rename, no rename-exchange, no hard links, no links or pipes, no permissions.
class ExfatMount {
public:
    ExfatMount() {
        const auto shell = [](const std::string &command) {
            return runChild({"/bin/sh", "-c", command + " 2>&1"});
        };
        const std::string image = (m_dir / "card.img").string();
        fs::create_directory(m_point);
        ChildRun step = shell("truncate -s 64M '" + image + "' && mkfs.exfat '" + image + "'");
        if (step.status != 0) {
            m_problem = "cannot make an exFAT image: " + step.out;
            return;
        }
        step = shell("losetup -f --show '" + image + "'");
        if (step.status != 0) {
            m_problem = "no loop device: " + step.out;
            return;
        }
        m_loop = step.out.substr(0, step.out.find('\n'));
        step = shell("mount.exfat-fuse '" + m_loop + "' '" + m_point.string() + "'");
        if (step.status != 0)
            m_problem = "cannot mount through FUSE: " + step.out;
    }
    ~ExfatMount() {
        if (m_problem.empty())
            runChild({"/bin/umount", m_point.string()});
        if (!m_loop.empty())
            runChild({"/sbin/losetup", "-d", m_loop});
    }

    /// Why it is not mounted; empty when it is.
    const std::string &problem() const { return m_problem; }
    const fs::path &path() const { return m_point; }

private:
    TempDir m_dir;
    fs::path m_point = m_dir / "card";
    std::string m_loop;
    std::string m_problem;
};

/// True when the case's folder can be made on exFAT, which has no links, pipes or permissions,
/// and where a FUSE mount of root's is closed to other users.
bool fitsExfat(const FaultCase &fault) {
    for (const Entry &entry : fault.entries) {
        if (entry.kind == Entry::Kind::Fifo || entry.kind == Entry::Kind::Link || entry.mode >= 0)
            return false;
    }
    return !fault.child.asNobody;
}

} // namespace

// The same promises on a drive whose file system offers none of exclusive rename, hard links
// and rename-exchange.
TEST(RelinkTool, FaultsOverwritesAndConcurrentRunsOnExfat) {
    const ExfatMount card;
    if (!card.problem().empty())
        GTEST_SKIP() << card.problem();
    for (const FaultCase &fault : kFaults) {
        if (!fitsExfat(fault))
            continue;
        SCOPED_TRACE(fault.name);
        expectFault(fault, card.path());
    }
    expectOverwriteOnlyOnceComplete(card.path());
    expectTwoRunsToOneOutputEachWholeOrFailing(card.path());
}

// JSON is Unicode and a name is bytes: a byte that is not UTF-8 is written so that a script can
// turn it back (Python's surrogateescape), and a U+FDD0 of the name itself stays as it is.
TEST(RelinkTool, JsonSpellsNamesThatAreNotUtf8Reversibly) {
    TempDir dir;
    writeFile(dir / "Caf\xE9\xEF\xB7\x90.fcpxml", kDocument);
    const ChildRun run =
        runTool({"--json", "--dry-run", withFolder(dir, "@/Caf\xE9\xEF\xB7\x90.fcpxml")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(withFolder(dir, R"("input":"@/Caf\uDCE9)") + "\xEF\xB7\x90.fcpxml\""),
              std::string::npos)
        << run.out;
}

namespace {

/// A document of `proxies` proxy assets, each placed once in the project.
std::string manyProxies(int proxies) {
    std::string assets, clips;
    for (int i = 0; i < proxies; ++i) {
        const std::string n = std::to_string(i);
        assets += "<asset id=\"a" + n + "\" format=\"r1\"><media-rep src=\"file:///m/P" + n +
                  ".mov\"/></asset>\n";
        clips += "<asset-clip ref=\"a" + n + "\" format=\"r1\"/>\n";
    }
    return "<fcpxml version=\"1.10\"><resources><format id=\"r1\"/><format id=\"r2\"/>\n"
           "<asset id=\"r3\" format=\"r2\"><media-rep src=\"file:///m/A.braw\"/></asset>\n" +
           assets + "</resources><library><event><project><sequence format=\"r1\"><spine>\n" +
           clips + "</spine></sequence></project></event></library></fcpxml>\n";
}

std::string sha256Of(const std::string &bytes) {
    tessaly::Sha256 sha;
    sha.update(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    return sha.hexDigest();
}

} // namespace

// With too little memory the tool fails with its message at whatever step the memory ran out
// (the parse, the relink, the write, the threads that read the document back and sync it) and
// leaves the folder as it was; with enough, the output is whole and its log describes it.
TEST(RelinkTool, TooLittleMemoryFailsCleanlyWhereverItRunsOut) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer reserves more address space than any limit here allows";
#endif
    TempDir dir;
    const std::string document = manyProxies(5000);
    writeFile(dir / "Big.fcpxml", document);
    constexpr rlim_t kMiB = rlim_t(1) << 20;
    const auto runWith = [&](rlim_t limit) {
        ChildOptions child;
        child.addressSpaceLimit = limit;
        return runTool({(dir / "Big.fcpxml").string()}, child);
    };
    const auto clear = [&] {
        fs::remove(dir / "Big_braw.fcpxml");
        fs::remove(dir / "Big_braw.relink.log");
    };
    // A limit near the least that works, found by halving. The line is not sharp: where a
    // thread cannot start, the run does without it and needs less, so a run may work below one
    // that failed, and halving may end at either edge.
    rlim_t fails = 16 * kMiB, works = 2048 * kMiB;
    ASSERT_EQ(runWith(works).status, 0);
    clear();
    while (works - fails > kMiB) {
        const rlim_t middle = fails + (works - fails) / 2;
        (runWith(middle).status == 0 ? works : fails) = middle;
        clear();
    }
    // Every limit from there down to where the program cannot even be loaded: the loader then
    // exits with 127 before any of the tool's code runs, and the tool itself never does. Just
    // above that line the C++ runtime has no memory even for the exception that says memory
    // ran out, and ends the program before the tool can say anything: the megabyte above the
    // line is judged by nobody. What a run left is looked at as it ends.
    struct Outcome {
        rlim_t limit;
        ChildRun run;
        bool onlyTheInput;   ///< the folder holds the input alone
        bool logNamesDigest; ///< the log's digest is the output's
    };
    std::vector<Outcome> outcomes;
    rlim_t loaderLine = 0;
    for (rlim_t limit = works + kMiB; limit >= kMiB; limit -= kMiB / 2) {
        ChildRun run = runWith(limit);
        if (run.status == 127) {
            loaderLine = limit;
            break;
        }
        const bool onlyTheInput =
            std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()) == 1;
        const bool logNamesDigest =
            readFile(dir / "Big_braw.relink.log")
                .find("\nDocument SHA-256:\t" + sha256Of(readFile(dir / "Big_braw.fcpxml")) +
                      "\n") != std::string::npos;
        clear();
        outcomes.push_back({limit, std::move(run), onlyTheInput, logNamesDigest});
    }
    int failed = 0, succeeded = 0;
    for (const Outcome &outcome : outcomes) {
        if (outcome.limit <= loaderLine + kMiB)
            continue;
        const std::string at = std::to_string(outcome.limit / 1024) + " KiB: " + outcome.run.err;
        ASSERT_TRUE(outcome.run.status == 0 || outcome.run.status == 1) << at;
        if (outcome.run.status == 1) {
            ++failed;
            EXPECT_NE(outcome.run.err.find(
                          "There is not enough memory to relink \u201CBig.fcpxml\u201D."),
                      std::string::npos)
                << at;
            EXPECT_TRUE(outcome.onlyTheInput) << at;
        } else {
            ++succeeded;
            EXPECT_TRUE(outcome.logNamesDigest) << at;
        }
    }
    EXPECT_GT(failed, 0);
    EXPECT_GT(succeeded, 0);
    EXPECT_EQ(readFile(dir / "Big.fcpxml"), document);
}
