#include "support/temp_dir.h"

#include "engine/version.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using tessaly::testing::readFile;
using tessaly::testing::snapshot;
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

/// The same document padded past a few kilobytes, for runs under a file-size limit.
const std::string kLargeDocument = kDocument.substr(0, kDocument.size() - 10) + "<!--" +
                                   std::string(8000, '.') + "-->" +
                                   kDocument.substr(kDocument.size() - 10);

/// How the program is started beyond its arguments.
struct Child {
    rlim_t fileSizeLimit = RLIM_INFINITY; ///< bytes any one file may reach
    bool asNobody = false;                ///< without root's rights, which ignore permissions
    bool outputToFull = false;            ///< standard output on /dev/full
};

struct ToolRun {
    int status = -1; ///< the exit status; -1 when killed, -2 when it had to be killed
    std::string out;
    std::string err;
};

const std::chrono::seconds kPatience(30);

ToolRun runTool(const TempDir &dir, const std::vector<std::string> &args, const Child &child = {}) {
    const fs::path out = dir / ".stdout", err = dir / ".stderr";
    std::vector<std::string> argv{TESSALY_RELINK_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char *> pointers;
    for (auto &arg : argv)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int outFd = ::open(child.outputToFull ? "/dev/full" : out.c_str(),
                                 O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        ::dup2(outFd, STDOUT_FILENO);
        ::dup2(errFd, STDERR_FILENO);
        const rlimit limit{child.fileSizeLimit, child.fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        if (child.asNobody) {
            const passwd *nobody = ::getpwnam("nobody");
            if (!nobody || ::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 ||
                ::setuid(nobody->pw_uid) != 0)
                ::_exit(126);
        }
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }
    int raw = 0;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (::waitpid(pid, &raw, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &raw, 0);
            return {-2, {}, "(still running after 30 s)"};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ToolRun run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(out), readFile(err)};
    fs::remove(out);
    fs::remove(err);
    return run;
}

/// True when a child can run without root's rights here.
bool canDropPrivileges(const TempDir &dir) {
    if (::geteuid() != 0)
        return true;
    return runTool(dir, {"--version"}, {RLIM_INFINITY, true, false}).status == 0;
}

void makeFifo(const fs::path &path) {
    fs::create_directories(path.parent_path());
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
}

void makeSocket(const fs::path &path) {
    fs::create_directories(path.parent_path());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.string().size(), sizeof(address.sun_path));
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)), 0);
    ::close(fd);
}

std::string q(const fs::path &path) {
    return "\u201C" + path.string() + "\u201D";
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
    EXPECT_EQ(help.out.rfind("Usage: tessaly-relink [OPTION]... INPUT...\n", 0), 0u);
}

TEST(RelinkTool, OptionFormsOfItsNeighbours) {
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kDocument);
    const std::string input = (dir / "Day1.fcpxml").string();
    const ToolRun version = runTool(dir, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "tessaly-relink " + std::string(tessaly::kVersion) + "\n");

    // --output=PATH is --output PATH.
    const ToolRun joined = runTool(dir, {"--output=" + (dir / "Joined.fcpxml").string(), input});
    EXPECT_EQ(joined.status, 0) << joined.err;
    EXPECT_TRUE(fs::exists(dir / "Joined.fcpxml"));
    EXPECT_EQ(runTool(dir, {"--output=", input}).status, 2);

    // After --, and for a lone -, every argument is a file name: never an option, never
    // standard input (a read of which would hang here until the child is killed).
    const std::string missing = ": No such file or directory.\n";
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"--", "--json"}, {"--", "-"}, {"-"}}) {
        const std::string name = args.back();
        std::vector<std::string> preview{"--dry-run"};
        preview.insert(preview.end(), args.begin(), args.end());
        const ToolRun run = runTool(dir, preview);
        EXPECT_EQ(run.status, 1) << name;
        EXPECT_EQ(run.err, name + ": Cannot read \u201C" + name + "\u201D" + missing);
    }
}

TEST(RelinkTool, PlainReportForEachInput) {
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kDocument);
    writeFile(dir / "Broken.fcpxml", "<fcpxml>");
    const ToolRun run =
        runTool(dir, {(dir / "Day1.fcpxml").string(), (dir / "Broken.fcpxml").string()});
    EXPECT_EQ(run.status, 1);
    const fs::path output = dir / "Day1_braw.fcpxml";
    EXPECT_EQ(run.out, (dir / "Day1.fcpxml").string() +
                           ": 1 clip source relinked, 1 format removed, 1 original missing, "
                           "written to " +
                           output.string() + " (change log " +
                           (dir / "Day1_braw.relink.log").string() + ")\n" +
                           "Kid's B: /Volumes/Café/Kid's B.mov \u2192 /Volumes/Café/Kid's B.braw "
                           "(missing)\n");
    EXPECT_EQ(run.err, (dir / "Broken.fcpxml").string() +
                           ": \u201CBroken.fcpxml\u201D is not well-formed XML: unclosed element "
                           "\u201Cfcpxml\u201D (line 1, column 9).\n");
    EXPECT_FALSE(fs::exists(dir / "Broken_braw.fcpxml"));
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
    EXPECT_EQ(ok["changes"][0]["brawFound"], false);
    EXPECT_EQ(ok["missingOriginals"], 1);
    EXPECT_TRUE(ok["log"].is_null());
    EXPECT_EQ(ok["brawFormat"], nlohmann::json({{"id", "r2"}}));
    EXPECT_EQ(ok["orphanFormatsRemoved"], nlohmann::json({"r1"}));
    const auto &failed = json["runs"][1];
    EXPECT_EQ(failed["ok"], false);
    EXPECT_EQ(failed["error"],
              "Cannot read \u201CMissing.fcpxml\u201D: No such file or directory.");
    EXPECT_TRUE(failed["missingOriginals"].is_null());
    EXPECT_TRUE(failed["log"].is_null());
    EXPECT_FALSE(fs::exists(dir / "Day1_braw.fcpxml"));
}

TEST(RelinkTool, OutputOptionNamesTheOutputAndItsChangeLog) {
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kDocument);
    writeFile(dir / "Day1.fcpxmld" / "Info.fcpxml", kDocument);
    const ToolRun run = runTool(dir, {"--json", "--output", (dir / "Final.fcpxml").string(),
                                      (dir / "Day1.fcpxml").string()});
    EXPECT_EQ(run.status, 0) << run.err;
    auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["runs"][0]["output"], (dir / "Final.fcpxml").string());
    EXPECT_EQ(json["runs"][0]["log"], (dir / "Final.relink.log").string());
    EXPECT_EQ(json["runs"][0]["document"], (dir / "Day1.fcpxml").string());
    EXPECT_TRUE(fs::exists(dir / "Final.fcpxml"));
    EXPECT_NE(readFile(dir / "Final.relink.log").find("\tr4\tr5\tmissing\n"), std::string::npos);

    const ToolRun noLog = runTool(dir, {"--json", "--no-log", (dir / "Day1.fcpxmld").string()});
    EXPECT_EQ(noLog.status, 0) << noLog.err;
    json = nlohmann::json::parse(noLog.out);
    EXPECT_TRUE(json["runs"][0]["log"].is_null());
    EXPECT_EQ(snapshot(dir.path()).count("Day1_braw.relink.log"), 0u);
}

TEST(RelinkTool, ChangeLogThatCannotBeWrittenIsAWarning) {
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kDocument);
    writeFile(dir / "Day1_braw.relink.log", "an earlier run's log");
    const ToolRun run = runTool(dir, {"--json", (dir / "Day1.fcpxml").string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, (dir / "Day1.fcpxml").string() +
                           ": warning: The change log could not be written to " +
                           q(dir / "Day1_braw.relink.log") +
                           ": File exists. Give --overwrite to replace it.\n");
    const auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["runs"][0]["ok"], true);
    EXPECT_TRUE(json["runs"][0]["log"].is_null());
    EXPECT_EQ(readFile(dir / "Day1_braw.relink.log"), "an earlier run's log");
    EXPECT_TRUE(fs::exists(dir / "Day1_braw.fcpxml"));
}

// Each case arranges files in a fresh folder, runs the program once and expects exactly this
// on standard error. Every failing case must leave the folder exactly as it was: the input
// untouched, no output, no temporary.
struct FaultCase {
    const char *name;
    std::function<std::vector<std::string>(const TempDir &)> arrange;
    std::function<std::string(const TempDir &)> message; ///< standard error without the newline
    Child child = {};
};

class RelinkToolFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(RelinkToolFaults, FailsWithItsMessageAndChangesNothing) {
    const FaultCase &fault = GetParam();
    TempDir dir;
    if (fault.child.asNobody && !canDropPrivileges(dir))
        GTEST_SKIP() << "no unprivileged user to run as, and root ignores permissions";
    const std::vector<std::string> args = fault.arrange(dir);
    const auto before = snapshot(dir.path());
    const ToolRun run = runTool(dir, args, fault.child);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.err, fault.message(dir) + "\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(snapshot(dir.path()), before);
}

const FaultCase kFaults[] = {
    {"FifoAsInput",
     [](const TempDir &dir) {
         makeFifo(dir / "pipe.fcpxml");
         return std::vector<std::string>{(dir / "pipe.fcpxml").string()};
     },
     [](const TempDir &dir) {
         return (dir / "pipe.fcpxml").string() +
                ": Cannot read \u201Cpipe.fcpxml\u201D: it is a named pipe, not a regular file.";
     }},
    {"DeviceAsInput",
     [](const TempDir &dir) {
         return std::vector<std::string>{"--output", (dir / "Zero.fcpxml").string(), "/dev/zero"};
     },
     [](const TempDir &) {
         return std::string("/dev/zero: Cannot read \u201Czero\u201D: it is a device, not a "
                            "regular file.");
     }},
    {"FifoAsTheDocumentOfABundle",
     [](const TempDir &dir) {
         makeFifo(dir / "P.fcpxmld" / "Info.fcpxml");
         return std::vector<std::string>{(dir / "P.fcpxmld").string()};
     },
     [](const TempDir &dir) {
         return (dir / "P.fcpxmld").string() +
                ": Cannot read \u201CInfo.fcpxml\u201D in the bundle \u201CP.fcpxmld\u201D: it is "
                "a named pipe, not a regular file.";
     }},
    {"FifoInsideABundle",
     [](const TempDir &dir) {
         writeFile(dir / "P.fcpxmld" / "Info.fcpxml", kDocument);
         makeFifo(dir / "P.fcpxmld" / "Media" / "feed");
         return std::vector<std::string>{(dir / "P.fcpxmld").string()};
     },
     [](const TempDir &dir) {
         return (dir / "P.fcpxmld").string() +
                ": Failed to copy bundle: \u201CMedia/feed\u201D in \u201CP.fcpxmld\u201D is a "
                "named pipe; only files, folders and links can be copied.";
     }},
    {"SocketInsideABundle",
     [](const TempDir &dir) {
         writeFile(dir / "S.fcpxmld" / "Info.fcpxml", kDocument);
         makeSocket(dir / "S.fcpxmld" / "cam.sock");
         return std::vector<std::string>{(dir / "S.fcpxmld").string()};
     },
     [](const TempDir &dir) {
         return (dir / "S.fcpxmld").string() +
                ": Failed to copy bundle: \u201Ccam.sock\u201D in \u201CS.fcpxmld\u201D is a "
                "socket; only files, folders and links can be copied.";
     }},
    {"DocumentOfABundleIsALink",
     [](const TempDir &dir) {
         writeFile(dir / "Real.fcpxml", kDocument);
         fs::create_directories(dir / "L.fcpxmld");
         fs::create_symlink("../Real.fcpxml", dir / "L.fcpxmld" / "Info.fcpxml");
         return std::vector<std::string>{(dir / "L.fcpxmld").string()};
     },
     [](const TempDir &dir) {
         return (dir / "L.fcpxmld").string() +
                ": The .fcpxml inside the bundle is a link to another file. Tessaly does not "
                "write through links; replace the link with the document itself.";
     }},
    {"ExistingOutputWithoutOverwrite",
     [](const TempDir &dir) {
         writeFile(dir / "Day1.fcpxml", kDocument);
         writeFile(dir / "Day1_braw.fcpxml", "the user's own file");
         return std::vector<std::string>{(dir / "Day1.fcpxml").string()};
     },
     [](const TempDir &dir) {
         return (dir / "Day1.fcpxml").string() +
                ": Failed to copy file: \u201CDay1.fcpxml\u201D could not be copied to " +
                q(dir / "Day1_braw.fcpxml") + ": File exists. Give --overwrite to replace it.";
     }},
    {"ExistingFolderWithoutOverwrite",
     [](const TempDir &dir) {
         writeFile(dir / "A.fcpxmld" / "Info.fcpxml", kDocument);
         writeFile(dir / "A_braw.fcpxmld" / "mine.txt", "the user's own file");
         return std::vector<std::string>{(dir / "A.fcpxmld").string()};
     },
     [](const TempDir &dir) {
         return (dir / "A.fcpxmld").string() +
                ": Failed to copy bundle: \u201CA.fcpxmld\u201D could not be copied to " +
                q(dir / "A_braw.fcpxmld") + ": File exists. Give --overwrite to replace it.";
     }},
    {"OverwriteNeverReplacesAFolderThatIsNoBundle",
     [](const TempDir &dir) {
         writeFile(dir / "A.fcpxmld" / "Info.fcpxml", kDocument);
         writeFile(dir / "Work" / "mine.txt", "the user's own file");
         return std::vector<std::string>{"--overwrite", "--output", (dir / "Work").string(),
                                         (dir / "A.fcpxmld").string()};
     },
     [](const TempDir &dir) {
         return (dir / "A.fcpxmld").string() +
                ": Failed to copy bundle: \u201CA.fcpxmld\u201D could not be copied to " +
                q(dir / "Work") + ": it is not an .fcpxmld bundle, so Tessaly does not replace it.";
     }},
    {"OverwriteNeverReplacesAFileThatIsNoDocument",
     [](const TempDir &dir) {
         writeFile(dir / "Day1.fcpxml", kDocument);
         writeFile(dir / "notes.txt", "the user's own file");
         return std::vector<std::string>{"--overwrite", "--output", (dir / "notes.txt").string(),
                                         (dir / "Day1.fcpxml").string()};
     },
     [](const TempDir &dir) {
         return (dir / "Day1.fcpxml").string() +
                ": Failed to copy file: \u201CDay1.fcpxml\u201D could not be copied to " +
                q(dir / "notes.txt") +
                ": it is not an .fcpxml document, so Tessaly does not replace it.";
     }},
    {"OverwriteNeverReplacesALink",
     [](const TempDir &dir) {
         writeFile(dir / "Day1.fcpxml", kDocument);
         writeFile(dir / "Elsewhere.fcpxml", kDocument);
         fs::create_symlink("Elsewhere.fcpxml", dir / "Day1_braw.fcpxml");
         return std::vector<std::string>{"--overwrite", (dir / "Day1.fcpxml").string()};
     },
     [](const TempDir &dir) {
         return (dir / "Day1.fcpxml").string() +
                ": Failed to copy file: \u201CDay1.fcpxml\u201D could not be copied to " +
                q(dir / "Day1_braw.fcpxml") + ": it is a link, which Tessaly does not replace.";
     }},
    {"OverwriteNeverReplacesAnotherInput",
     [](const TempDir &dir) {
         writeFile(dir / "A.fcpxmld" / "Info.fcpxml", kDocument);
         writeFile(dir / "A_braw.fcpxmld" / "Info.fcpxml", "<fcpxml/>");
         return std::vector<std::string>{"--overwrite", (dir / "A.fcpxmld").string(),
                                         (dir / "A_braw.fcpxmld").string()};
     },
     [](const TempDir &dir) {
         return (dir / "A.fcpxmld").string() +
                ": Failed to copy bundle: \u201CA.fcpxmld\u201D could not be copied to " +
                q(dir / "A_braw.fcpxmld") + ": it is one of the inputs.\n" +
                (dir / "A_braw.fcpxmld").string() +
                ": Invalid FCPXML - no <resources> section found.";
     }},
    {"OutputIsALinkToTheInput",
     [](const TempDir &dir) {
         writeFile(dir / "Day1.fcpxml", kDocument);
         fs::create_symlink("Day1.fcpxml", dir / "Day1_braw.fcpxml");
         return std::vector<std::string>{(dir / "Day1.fcpxml").string()};
     },
     [](const TempDir &dir) {
         return (dir / "Day1.fcpxml").string() +
                ": Failed to copy file: \u201CDay1.fcpxml\u201D could not be copied to " +
                q(dir / "Day1_braw.fcpxml") + ": it is a link to the input.";
     }},
    {"RequiredOriginalMissing",
     [](const TempDir &dir) {
         writeFile(dir / "Day1.fcpxml", kDocument);
         return std::vector<std::string>{"--require-originals", (dir / "Day1.fcpxml").string()};
     },
     [](const TempDir &dir) {
         return (dir / "Day1.fcpxml").string() +
                ": 1 of 1 .braw original of \u201CDay1.fcpxml\u201D is missing on this "
                "computer: \u201CKid's B.braw\u201D. Nothing was written.";
     }},
    {"PreviewOntoTheInputReportsTheApplysRefusal",
     [](const TempDir &dir) {
         writeFile(dir / "Day1.fcpxml", kDocument);
         return std::vector<std::string>{"--dry-run", "--overwrite", "--output",
                                         (dir / "Day1.fcpxml").string(),
                                         (dir / "Day1.fcpxml").string()};
     },
     [](const TempDir &dir) {
         return (dir / "Day1.fcpxml").string() +
                ": Failed to copy file: \u201CDay1.fcpxml\u201D could not be copied to " +
                q(dir / "Day1.fcpxml") + ": it is the input itself.";
     }},
    {"OutputPathInALoopOfLinks",
     [](const TempDir &dir) {
         writeFile(dir / "Day1.fcpxml", kDocument);
         fs::create_symlink("loop", dir / "loop");
         return std::vector<std::string>{"--output", (dir / "loop" / "Out.fcpxml").string(),
                                         (dir / "Day1.fcpxml").string()};
     },
     [](const TempDir &dir) {
         return (dir / "Day1.fcpxml").string() +
                ": Failed to copy file: \u201CDay1.fcpxml\u201D could not be copied to " +
                q(dir / "loop" / "Out.fcpxml") + ": Too many levels of symbolic links.";
     }},
    {"OutputNameTooLong",
     [](const TempDir &dir) {
         writeFile(dir / "Day1.fcpxml", kDocument);
         return std::vector<std::string>{"--output",
                                         (dir / (std::string(300, 'x') + ".fcpxml")).string(),
                                         (dir / "Day1.fcpxml").string()};
     },
     [](const TempDir &dir) {
         return (dir / "Day1.fcpxml").string() +
                ": Failed to copy file: \u201CDay1.fcpxml\u201D could not be copied to " +
                q(dir / (std::string(300, 'x') + ".fcpxml")) + ": File name too long.";
     }},
    {"OutputInAFolderWithoutWritePermission",
     [](const TempDir &dir) {
         writeFile(dir / "Day1.fcpxml", kDocument);
         fs::create_directories(dir / "Locked");
         fs::permissions(dir / "Locked", fs::perms(0555));
         return std::vector<std::string>{"--output", (dir / "Locked" / "Out.fcpxml").string(),
                                         (dir / "Day1.fcpxml").string()};
     },
     [](const TempDir &dir) {
         return (dir / "Day1.fcpxml").string() +
                ": Failed to copy file: \u201CDay1.fcpxml\u201D could not be copied to " +
                q(dir / "Locked" / "Out.fcpxml") + ": Permission denied.";
     },
     {RLIM_INFINITY, true, false}},
    {"OutputInAFolderWithoutSearchPermission",
     [](const TempDir &dir) {
         writeFile(dir / "A.fcpxmld" / "Info.fcpxml", kDocument);
         fs::create_directories(dir / "Hidden");
         fs::permissions(dir / "Hidden", fs::perms(0700));
         return std::vector<std::string>{"--output", (dir / "Hidden" / "Out.fcpxmld").string(),
                                         (dir / "A.fcpxmld").string()};
     },
     [](const TempDir &dir) {
         return (dir / "A.fcpxmld").string() +
                ": Failed to copy bundle: \u201CA.fcpxmld\u201D could not be copied to " +
                q(dir / "Hidden" / "Out.fcpxmld") + ": Permission denied.";
     },
     {RLIM_INFINITY, true, false}},
    {"FullDiskDuringAFileApply",
     [](const TempDir &dir) {
         writeFile(dir / "Big.fcpxml", kLargeDocument);
         return std::vector<std::string>{(dir / "Big.fcpxml").string()};
     },
     [](const TempDir &dir) {
         return (dir / "Big.fcpxml").string() +
                ": Failed to copy file: \u201CBig.fcpxml\u201D could not be copied to " +
                q(dir / "Big_braw.fcpxml") + ": the disk is full.";
     },
     {4096, false, false}},
    {"FullDiskDuringABundleCopy",
     [](const TempDir &dir) {
         writeFile(dir / "B.fcpxmld" / "Info.fcpxml", kDocument);
         writeFile(dir / "B.fcpxmld" / "Media" / "cache.bin", std::string(20000, 'c'));
         return std::vector<std::string>{(dir / "B.fcpxmld").string()};
     },
     [](const TempDir &dir) {
         return (dir / "B.fcpxmld").string() +
                ": Failed to copy bundle: \u201CB.fcpxmld\u201D could not be copied to " +
                q(dir / "B_braw.fcpxmld") + ": the disk is full.";
     },
     {4096, false, false}},
    {"FullDiskWritingTheDocumentOfABundle",
     [](const TempDir &dir) {
         writeFile(dir / "B.fcpxmld" / "Info.fcpxml", kLargeDocument);
         return std::vector<std::string>{(dir / "B.fcpxmld").string()};
     },
     [](const TempDir &dir) {
         return (dir / "B.fcpxmld").string() +
                ": Failed to copy bundle: \u201CB.fcpxmld\u201D could not be copied to " +
                q(dir / "B_braw.fcpxmld") + ": the disk is full.";
     },
     {4096, false, false}},
};

INSTANTIATE_TEST_SUITE_P(Cases, RelinkToolFaults, ::testing::ValuesIn(kFaults),
                         [](const auto &test) { return std::string(test.param.name); });

TEST(RelinkTool, BundleGivenThroughALinkIsCopiedAsTheFolderItNames) {
    TempDir dir;
    writeFile(dir / "real.fcpxmld" / "Info.fcpxml", kDocument);
    writeFile(dir / "real.fcpxmld" / "Media" / "notes.txt", "notes");
    fs::create_directory_symlink("real.fcpxmld", dir / "link.fcpxmld");
    const auto input = snapshot(dir / "real.fcpxmld");

    const ToolRun run = runTool(dir, {(dir / "link.fcpxmld").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    const fs::path output = dir / "link_braw.fcpxmld";
    EXPECT_FALSE(fs::is_symlink(output));
    EXPECT_TRUE(fs::is_directory(output));
    EXPECT_NE(readFile(output / "Info.fcpxml").find("B.braw"), std::string::npos);
    EXPECT_EQ(readFile(output / "Media" / "notes.txt"), "notes");
    EXPECT_EQ(snapshot(dir / "real.fcpxmld"), input);
}

TEST(RelinkTool, OverwriteReplacesAnEarlierOutputOnlyOnceTheNewOneIsComplete) {
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kDocument);
    writeFile(dir / "A.fcpxmld" / "Info.fcpxml", kDocument);
    writeFile(dir / "Day1_braw.fcpxml", "an earlier output");
    writeFile(dir / "A_braw.fcpxmld" / "stale.txt", "an earlier output");
    fs::permissions(dir / "Day1.fcpxml", fs::perms(0444));

    // The new output cannot be written: the earlier outputs stay as they were.
    const auto before = snapshot(dir.path());
    const ToolRun full =
        runTool(dir, {"--overwrite", (dir / "Day1.fcpxml").string(), (dir / "A.fcpxmld").string()},
                {200, false, false});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(snapshot(dir.path()), before);

    const ToolRun run =
        runTool(dir, {"--overwrite", (dir / "Day1.fcpxml").string(), (dir / "A.fcpxmld").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(readFile(dir / "Day1_braw.fcpxml").find("B.braw"), std::string::npos);
    EXPECT_EQ(fs::status(dir / "Day1_braw.fcpxml").permissions(), fs::perms(0644));
    EXPECT_FALSE(fs::exists(dir / "A_braw.fcpxmld" / "stale.txt"));
    EXPECT_NE(readFile(dir / "A_braw.fcpxmld" / "Info.fcpxml").find("B.braw"), std::string::npos);
    EXPECT_EQ(readFile(dir / "Day1.fcpxml"), kDocument);
    EXPECT_EQ(readFile(dir / "A.fcpxmld" / "Info.fcpxml"), kDocument);
}

TEST(RelinkTool, TwoRunsToOneOutputEachWriteAWholeDocumentOrFailCleanly) {
    TempDir dir;
    // Large enough that the two runs overlap.
    std::string document = kDocument.substr(0, kDocument.size() - 10);
    for (int i = 0; i < 20000; ++i)
        document += "<!-- filler " + std::to_string(i) + " -->\n";
    document += kDocument.substr(kDocument.size() - 10);
    writeFile(dir / "A.fcpxmld" / "Info.fcpxml", document);
    const std::string expected = [&] {
        TempDir alone;
        writeFile(alone / "A.fcpxmld" / "Info.fcpxml", document);
        EXPECT_EQ(runTool(alone, {(alone / "A.fcpxmld").string()}).status, 0);
        return readFile(alone / "A_braw.fcpxmld" / "Info.fcpxml");
    }();

    for (const bool overwrite : {false, true}) {
        SCOPED_TRACE(overwrite ? "--overwrite" : "no --overwrite");
        fs::remove_all(dir / "A_braw.fcpxmld");
        std::vector<std::string> args{(dir / "A.fcpxmld").string()};
        if (overwrite)
            args.insert(args.begin(), "--overwrite");
        TempDir firstLogs, secondLogs;
        ToolRun first, second;
        std::thread other([&] { first = runTool(firstLogs, args); });
        second = runTool(secondLogs, args);
        other.join();
        const int succeeded = (first.status == 0) + (second.status == 0);
        EXPECT_EQ(succeeded, overwrite ? 2 : 1) << first.err << second.err;
        for (const ToolRun *run : {&first, &second}) {
            if (run->status != 0) {
                EXPECT_NE(run->err.find(": File exists. Give --overwrite"), std::string::npos)
                    << run->err;
            }
        }
        EXPECT_EQ(readFile(dir / "A_braw.fcpxmld" / "Info.fcpxml"), expected);
        // The input, the output and its log.
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
    }
}

TEST(RelinkTool, PlainOutputEscapesControlCharacters) {
    TempDir dir;
    std::string document = kDocument;
    const std::string proxy = "Kid&apos;s%20B.mov";
    document.replace(document.find(proxy), proxy.size(), "B%1B%5B31m%E2%80%AE.mov");
    writeFile(dir / "Day1.fcpxml", document);
    const std::string evil = "Evil\x1B]0;owned\x07\nforged.fcpxml";
    writeFile(dir / evil, "<fcpxml>");

    const ToolRun run = runTool(dir, {(dir / "Day1.fcpxml").string(), (dir / evil).string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("B\\x1B[31m\\u202E: /Volumes/Café/B\\x1B[31m\\u202E.mov \u2192 "
                           "/Volumes/Café/B\\x1B[31m\\u202E.braw (missing)\n"),
              std::string::npos)
        << run.out;
    // The name's line break stays a line break of the message, indented like every further
    // line of a message, so it cannot pass for another input's report.
    const std::string shownPrefix =
        dir.path().string() + "/Evil\\x1B]0;owned\\x07\\x0Aforged.fcpxml: ";
    EXPECT_EQ(run.err, shownPrefix + "\u201CEvil\\x1B]0;owned\\x07\n  forged.fcpxml\u201D is not "
                                     "well-formed XML: unclosed element \u201Cfcpxml\u201D (line "
                                     "1, column 9).\n");
}

TEST(RelinkTool, FailingToWriteTheReportIsAFailure) {
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kDocument);
    const ToolRun run = runTool(dir, {"--dry-run", "--json", (dir / "Day1.fcpxml").string()},
                                {RLIM_INFINITY, false, true});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "tessaly-relink: the report could not be written to standard output: No "
                       "space left on device.\n");
}
