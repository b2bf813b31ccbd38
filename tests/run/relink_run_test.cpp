#include "engine/run/pending_output.h"
#include "engine/run/relink_run.h"
#include "engine/run/sha256.h"
#include "engine/run/system_calls.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessaly;
using namespace tessaly::testing;
namespace fs = std::filesystem;

namespace {

/// A document whose proxies have the `src` texts `sources`, beside one .braw asset (r3); the
/// proxies are r4, r5... and their new assets follow them.
std::string withProxies(const std::vector<std::string> &sources) {
    std::string assets;
    int id = 4;
    for (const std::string &src : sources) {
        assets += "<asset id=\"r" + std::to_string(id++) + "\" format=\"r1\"><media-rep src=\"" +
                  src + "\"/></asset>\n";
    }
    return "<fcpxml version=\"1.10\"><resources><format id=\"r1\"/><format id=\"r2\"/>\n"
           "<asset id=\"r3\" format=\"r2\"><media-rep src=\"file:///m/A.braw\"/></asset>\n" +
           assets + "</resources></fcpxml>\n";
}

/// One proxy, B.mov, to relink.
const std::string kDocument = withProxies({"file:///m/B.mov"});

RunOutcome run(const fs::path &input, const fs::path &output, bool dryRun,
               bool replaceExisting = false) {
    RunRequest request;
    request.input = input;
    request.output = output;
    request.dryRun = dryRun;
    request.replaceExisting = replaceExisting;
    // A preview refuses an output as an apply would, as the command line's previews do.
    request.checkOutput = true;
    return RelinkRun::perform(request);
}

/// How many entries `folder` holds: a run's temporaries would be among them.
long entriesIn(const fs::path &folder) {
    return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
}

unsigned permissionsOf(const fs::path &path) {
    return unsigned(fs::status(path).permissions() & fs::perms::all);
}

} // namespace

TEST(DefaultOutputLocation, AddsBrawBeforeTheLastExtension) {
    EXPECT_EQ(RelinkRun::defaultOutputLocation("/Edits/Day1.fcpxml"), "/Edits/Day1_braw.fcpxml");
    EXPECT_EQ(RelinkRun::defaultOutputLocation("/Edits/Day1.fcpxmld"), "/Edits/Day1_braw.fcpxmld");
    EXPECT_EQ(RelinkRun::defaultOutputLocation("/Edits/Day1.fcpxmld/"), "/Edits/Day1_braw.fcpxmld");
    EXPECT_EQ(RelinkRun::defaultOutputLocation("/Edits/Cut.final.FCPXML"),
              "/Edits/Cut.final_braw.FCPXML");
}

// Runs refused before anything is written, by a preview and an apply alike: inputs no run can
// use, and outputs that overlap the input bundle. Messages name what the user chose, never a
// copy.
TEST(RelinkRun, RefusedRunsWriteNothing) {
    TempDir dir;
    writeFile(dir / "Broken.fcpxmld" / "Info.fcpxml", "<fcpxml>\n  <resources>\n</fcpxml>");
    writeFile(dir / "Deep.fcpxmld" / "Sub" / "Info.fcpxml", kDocument);
    writeFile(dir / "Real.fcpxml", kDocument);
    fs::create_directories(dir / "Linked.fcpxmld");
    fs::create_symlink(dir / "Real.fcpxml", dir / "Linked.fcpxmld" / "Info.fcpxml");
    writeFile(dir / "Media" / "A.mov", "not really a movie");
    const fs::path bundle = dir / "Edits" / "Day1.fcpxmld";
    writeFile(bundle / "Info.fcpxml", kDocument);
    fs::create_directory_symlink(bundle, dir / "alias.fcpxmld");
    const auto before = snapshot(dir.path());

    const std::string inside(RelinkRun::kOutputInsideInput);
    const struct {
        fs::path input;
        fs::path output; ///< the default one when empty
        std::string message;
    } cases[] = {
        {"Broken.fcpxmld",
         {},
         "\u201CInfo.fcpxml\u201D in the bundle \u201CBroken.fcpxmld\u201D is not well-formed "
         "XML: mismatched tag (line 3, column 3)."},
        {"Deep.fcpxmld", {}, "No .fcpxml found inside bundle."},
        {"Linked.fcpxmld", {}, std::string(RelinkRun::kDocumentIsLink)},
        {"Media", {}, "Cannot read \u201CMedia\u201D: Is a directory."},
        {bundle, bundle, inside},
        {bundle, dir / "Edits" / "." / "Day1.fcpxmld/", inside},
        {bundle, bundle / "Out.fcpxmld", inside},
        {bundle, dir / "alias.fcpxmld", inside},
        {bundle, dir / "Edits", std::string(RelinkRun::kOutputContainsInput)},
    };
    for (const auto &refused : cases) {
        const fs::path input = dir / refused.input;
        const fs::path output =
            refused.output.empty() ? RelinkRun::defaultOutputLocation(input) : refused.output;
        for (const bool dryRun : {true, false}) {
            SCOPED_TRACE(input.string() + " to " + output.string() + (dryRun ? " preview" : ""));
            const RunOutcome outcome = run(input, output, dryRun, true);
            EXPECT_EQ(outcome.errorMessage, refused.message);
            EXPECT_TRUE(outcome.written.empty());
            EXPECT_EQ(snapshot(dir.path()), before);
        }
    }
}

// An input given through a link is what the link names: for a bundle, the folder, searched
// and copied whole.
TEST(RelinkRun, BundleIsSearchedAndCopiedWhole) {
    TempDir dir;
    writeFile(dir / "Project.FCPXMLD" / "Info.FCPXML", kDocument);
    writeFile(dir / "Project.FCPXMLD" / "Media" / "Other.fcpxml", "<fcpxml/>");
    fs::create_symlink("Media/Other.fcpxml", dir / "Project.FCPXMLD" / "Shortcut");
    fs::create_directory_symlink("Project.FCPXMLD", dir / "Link.fcpxmld");
    const auto input = snapshot(dir / "Project.FCPXMLD");

    const auto preview = run(dir / "Link.fcpxmld", dir / "Out.fcpxmld", true);
    ASSERT_TRUE(preview.succeeded()) << preview.errorMessage;
    EXPECT_EQ(preview.document, dir / "Link.fcpxmld" / "Info.FCPXML");
    EXPECT_FALSE(fs::exists(dir / "Out.fcpxmld"));

    const auto apply = run(dir / "Link.fcpxmld", dir / "Out.fcpxmld", false);
    ASSERT_TRUE(apply.succeeded()) << apply.errorMessage;
    EXPECT_EQ(apply.written, dir / "Out.fcpxmld");
    EXPECT_FALSE(fs::is_symlink(dir / "Out.fcpxmld"));
    EXPECT_EQ(fs::read_symlink(dir / "Out.fcpxmld" / "Shortcut"), "Media/Other.fcpxml");
    EXPECT_EQ(readFile(dir / "Out.fcpxmld" / "Media" / "Other.fcpxml"), "<fcpxml/>");
    EXPECT_NE(readFile(dir / "Out.fcpxmld" / "Info.FCPXML").find("B.braw"), std::string::npos);
    EXPECT_EQ(snapshot(dir / "Project.FCPXMLD"), input);
    EXPECT_EQ(entriesIn(dir.path()), 4) << "the bundle, its link, the output and its log";

    // A document given through a link is read as the document it names.
    fs::create_symlink("Project.FCPXMLD/Info.FCPXML", dir / "Day1.fcpxml");
    const auto linked = run(dir / "Day1.fcpxml", dir / "Day1_braw.fcpxml", true);
    EXPECT_TRUE(linked.succeeded()) << linked.errorMessage;
}

// Only one document of a bundle is relinked, the first its folder lists; any other is the
// user's and is copied as it was.
TEST(RelinkRun, BundleWithTwoDocumentsRewritesTheFirstListedAndCopiesTheOther) {
    TempDir dir;
    writeFile(dir / "Two.fcpxmld" / "One.fcpxml", kDocument);
    writeFile(dir / "Two.fcpxmld" / "Other.fcpxml", kDocument);
    const auto outcome = run(dir / "Two.fcpxmld", dir / "Out.fcpxmld", false);
    ASSERT_TRUE(outcome.succeeded()) << outcome.errorMessage;
    const std::string first = fs::directory_iterator(dir / "Two.fcpxmld")->path().filename();
    EXPECT_EQ(outcome.document, dir / "Two.fcpxmld" / first);
    const std::string second = first == "One.fcpxml" ? "Other.fcpxml" : "One.fcpxml";
    EXPECT_NE(readFile(dir / "Out.fcpxmld" / first), kDocument);
    EXPECT_EQ(readFile(dir / "Out.fcpxmld" / second), kDocument);
}

TEST(RelinkRun, OutputKeepsTheInputsPermissionsPlusOwnerWrite) {
    TempDir dir;
    writeFile(dir / "Locked.fcpxml", kDocument);
    writeFile(dir / "Locked.fcpxmld" / "Info.fcpxml", kDocument);
    writeFile(dir / "Locked.fcpxmld" / "Media" / "notes.txt", "notes");
    const struct {
        fs::path input;
        unsigned mode;
        fs::path output;
        unsigned outputMode;
    } entries[] = {{"Locked.fcpxml", 0440, "Out.fcpxml", 0640},
                   {"Locked.fcpxmld/Info.fcpxml", 0444, "Out.fcpxmld/Info.fcpxml", 0644},
                   {"Locked.fcpxmld/Media/notes.txt", 0400, "Out.fcpxmld/Media/notes.txt", 0600},
                   {"Locked.fcpxmld/Media", 0550, "Out.fcpxmld/Media", 0750},
                   {"Locked.fcpxmld", 0555, "Out.fcpxmld", 0755}};
    for (const auto &entry : entries)
        fs::permissions(dir / entry.input, fs::perms(entry.mode));

    ASSERT_TRUE(run(dir / "Locked.fcpxml", dir / "Out.fcpxml", false).succeeded());
    ASSERT_TRUE(run(dir / "Locked.fcpxmld", dir / "Out.fcpxmld", false).succeeded());
    for (const auto &entry : entries) {
        EXPECT_EQ(permissionsOf(dir / entry.output), entry.outputMode) << entry.output;
        EXPECT_EQ(permissionsOf(dir / entry.input), entry.mode) << entry.input;
    }
    fs::permissions(dir / "Locked.fcpxmld", fs::perms::owner_all);
    fs::permissions(dir / "Locked.fcpxmld" / "Media", fs::perms::owner_all);
}

// A run's temporaries lie beside its output: those of killed runs are cleared, those of live
// runs and of other outputs kept, and their names stay within the file system's limit.
TEST(PendingOutput, TemporariesOfKilledRunsAreClearedAndTheirNamesFit) {
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kDocument);
    const struct {
        const char *name;
        bool kept;
    } leftovers[] = {{".Day1_braw.fcpxml.tessaly-Killed", false},
                     {".Day1_braw.fcpxml.tessaly-AtWork", true}, // locked below: a live run's
                     {".Day1_braw.fcpxml.tessaly-toolong", true},
                     {".Other.fcpxml.tessaly-Killed", true}};
    for (const auto &leftover : leftovers)
        writeFile(dir / leftover.name, "a partial output");
    const int atWork = ::open((dir / ".Day1_braw.fcpxml.tessaly-AtWork").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(atWork, LOCK_EX), 0);

    ASSERT_TRUE(run(dir / "Day1.fcpxml", dir / "Day1_braw.fcpxml", false).succeeded());
    EXPECT_NE(readFile(dir / "Day1_braw.fcpxml").find("B.braw"), std::string::npos);
    for (const auto &leftover : leftovers)
        EXPECT_EQ(fs::exists(dir / leftover.name), leftover.kept) << leftover.name;
    ::close(atWork);

    // 250 bytes, with a two-byte character where the temporary's name must be cut.
    const std::string name = std::string(238, 'a') + "\u00E9" + "bbb.fcpxml";
    ASSERT_EQ(name.size(), 250u);
    EXPECT_EQ(PendingOutput::temporaryPrefix(name), "." + std::string(238, 'a') + ".tessaly-");
    const long entries = entriesIn(dir.path());
    const auto outcome = run(dir / "Day1.fcpxml", dir / name, false);
    ASSERT_TRUE(outcome.succeeded()) << outcome.errorMessage;
    EXPECT_EQ(entriesIn(dir.path()), entries + 2) << "the output and its log";
}

TEST(RelinkRun, OriginalsAreLookedForWhereTheImportedDocumentResolvesThem) {
    TempDir dir;
    // One original stored decomposed (as disks formatted on a Mac keep names) while the
    // document spells it composed, one missing, and one relative to the imported document.
    writeFile(dir / "Media" / "Cafe\u0301" / "One.braw", "");
    const std::string media = "file://" + (dir / "Media").string();
    const std::string document =
        withProxies({media + "/Caf%C3%A9/One.mov", media + "/Gone.mov", "clips/Near.mov"});
    writeFile(dir / "In" / "Day1.fcpxml", document);
    writeFile(dir / "In" / "Day1.fcpxmld" / "Info.fcpxml", document);
    // A relative original lies beside the output document, or inside the bundle (which the
    // apply copies).
    writeFile(dir / "Out" / "clips" / "Near.braw", "");
    writeFile(dir / "In" / "Day1.fcpxmld" / "clips" / "Near.braw", "");
    for (const char *name : {"Day1.fcpxml", "Day1.fcpxmld"}) {
        SCOPED_TRACE(name);
        const fs::path output = dir / "Out" / RelinkRun::defaultOutputLocation(name);
        const RunOutcome outcome = run(dir / "In" / name, output, false);
        ASSERT_TRUE(outcome.succeeded()) << outcome.errorMessage;
        std::vector<bool> found;
        for (const RelinkChange &change : outcome.result->changes)
            found.push_back(change.brawFound);
        EXPECT_EQ(found, (std::vector<bool>{true, false, true}));
        EXPECT_EQ(outcome.missingOriginals, 1u);
    }
    // The document keeps the spelling derived from the proxy.
    EXPECT_NE(readFile(dir / "Out" / "Day1_braw.fcpxml").find("/Caf%C3%A9/One.braw"),
              std::string::npos);
}

// The command line's tests pin an apply refused this way, which writes nothing.
TEST(RelinkRun, RequiringOriginalsNamesTheFirstMissingOnes) {
    TempDir dir;
    writeFile(dir / "Media" / "P0.braw", "");
    const std::string found = "file://" + (dir / "Media").string() + "/P0.mov";
    writeFile(dir / "Many.fcpxml", withProxies({found, "/x/P1.mov", "/x/P2.mov", "/x/P3.mov",
                                                "/x/P4.mov", "/x/P5.mov"}));
    RunRequest request;
    request.input = dir / "Many.fcpxml";
    request.output = dir / "Many_braw.fcpxml";
    request.requireOriginals = true;
    const RunOutcome outcome = RelinkRun::perform(request);
    EXPECT_EQ(outcome.errorMessage,
              "5 of 6 .braw originals of \u201CMany.fcpxml\u201D are missing on this computer: "
              "\u201CP1.braw\u201D, \u201CP2.braw\u201D, \u201CP3.braw\u201D and 2 more.");
    EXPECT_EQ(outcome.missingOriginals, 5u);
}

// The command line's tests pin the log beside a document; a bundle's goes beside it too.
TEST(RelinkRun, ApplyWritesItsChangeLogBesideTheOutputOnly) {
    TempDir dir;
    const fs::path input = dir / "In" / "Day2.fcpxmld";
    const fs::path output = dir / "Out" / "Day2_braw.fcpxmld";
    writeFile(input / "Info.fcpxml", kDocument);
    fs::create_directories(dir / "Out");
    ASSERT_TRUE(run(input, output, true).logPath.empty());
    const RunOutcome outcome = run(input, output, false);
    const fs::path log = dir / "Out" / "Day2_braw.relink.log";
    EXPECT_EQ(outcome.logPath, log);
    EXPECT_EQ(permissionsOf(log), 0644u);
    // The run supplies the header's locations; the change log's own tests pin its format.
    const std::string text = readFile(log);
    EXPECT_EQ(text.rfind("Program:\tTessaly ", 0), 0u);
    EXPECT_NE(text.find("\nInput:\t" + input.string() + "\nDocument in bundle:\tInfo.fcpxml\n" +
                        "Output:\t" + output.string() + "\n"),
              std::string::npos)
        << text;
    // The size and digest describe the document written, as the system's own tool sees it.
    const fs::path document = output / "Info.fcpxml";
    std::string digest(64, '\0');
    FILE *pipe = ::popen(("sha256sum '" + document.string() + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    digest.resize(std::fread(digest.data(), 1, digest.size(), pipe));
    ::pclose(pipe);
    EXPECT_NE(text.find("\nDocument size:\t" + std::to_string(fs::file_size(document)) +
                        "\nDocument SHA-256:\t" + digest + "\n"),
              std::string::npos)
        << text;
    // The output and its log, and never a log inside the bundle.
    EXPECT_EQ(entriesIn(dir / "Out"), 2);
    EXPECT_EQ(snapshot(output).size(), 1u);
}

TEST(Sha256, DigestsOfTheStandardMessagesFedInAnyPieces) {
    const std::string million(1000000, 'a');
    const struct {
        std::string message;
        const char *digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {million, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    if (!Sha256::hasFasterEngine())
        std::printf("This processor has no SHA instructions: only the plain code is tried.\n");
    for (const Sha256::Engine engine : {Sha256::Engine::fastest, Sha256::Engine::portable}) {
        for (const auto &c : cases) {
            for (const std::size_t piece : {std::size_t(1), std::size_t(63), std::size_t(4096)}) {
                Sha256 sha(engine);
                const auto *bytes = reinterpret_cast<const std::uint8_t *>(c.message.data());
                for (std::size_t at = 0; at < c.message.size(); at += piece)
                    sha.update(bytes + at, std::min(piece, c.message.size() - at));
                EXPECT_EQ(sha.hexDigest(), c.digest)
                    << c.message.size() << " bytes by " << piece << ", engine " << int(engine);
            }
        }
    }
}

// The processor's instructions and the plain code agree on every length around a block and on
// bytes of every value, fed whole or in uneven pieces.
TEST(Sha256, EnginesAgreeOnEveryLengthAndByte) {
    std::string bytes(4 * 64 + 7, '\0');
    std::uint32_t seed = 1;
    for (char &byte : bytes) {
        seed = seed * 1664525u + 1013904223u;
        byte = char(seed >> 24);
    }
    const auto *data = reinterpret_cast<const std::uint8_t *>(bytes.data());
    for (std::size_t length = 0; length <= bytes.size(); ++length) {
        Sha256 whole(Sha256::Engine::fastest), pieces(Sha256::Engine::portable);
        whole.update(data, length);
        for (std::size_t at = 0; at < length; at += 70)
            pieces.update(data + at, std::min<std::size_t>(70, length - at));
        ASSERT_EQ(whole.hexDigest(), pieces.hexDigest()) << length << " bytes";
    }
}

TEST(RelinkRun, ChangeLogThatCannotBeWrittenFailsNothingAndReplacesOnlyWhatItMay) {
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kDocument);
    // Any file name will do for an input; this one is where the log of Cut.fcpxml goes.
    writeFile(dir / "Cut.relink.log", kDocument);
    const fs::path log = dir / "Day1_braw.relink.log";
    const auto failure = [&](const fs::path &at, const std::string &reason) {
        return "The change log could not be written to \u201C" + at.string() + "\u201D: " + reason +
               ".";
    };

    // Even where the run may replace its output, it never replaces a folder, or an input, that
    // bears the log's name; the outputs are in place all the same.
    writeFile(log / "notes.txt", "the user's");
    const auto before = snapshot(dir.path());
    RunOutcome outcome = run(dir / "Day1.fcpxml", dir / "Day1_braw.fcpxml", false, true);
    ASSERT_TRUE(outcome.succeeded()) << outcome.errorMessage;
    EXPECT_EQ(outcome.logError, failure(log, "it is a folder, which Tessaly does not replace"));
    EXPECT_FALSE(outcome.logExists);
    outcome = run(dir / "Cut.relink.log", dir / "Cut.fcpxml", false, true);
    ASSERT_TRUE(outcome.succeeded()) << outcome.errorMessage;
    EXPECT_EQ(outcome.logError, failure(dir / "Cut.relink.log", "it is the input itself"));
    fs::remove(dir / "Day1_braw.fcpxml");
    fs::remove(dir / "Cut.fcpxml");
    EXPECT_EQ(snapshot(dir.path()), before);
}

namespace {

/// A call of the file-system table that fails: the `at`-th call from the run's start (0 for
/// every one) fails with `error`.
struct Fault {
    enum Call { NoReplace, Exchange, Link, CopyRange, Write, Sync, kCalls } call;
    int error;
    int at = 0;
};

struct Faults {
    std::vector<Fault> planted;
    bool shortWrites = false;
    int calls[Fault::kCalls] = {};
} faults;

/// True, with errno set, when the planted faults fail this call.
bool fails(Fault::Call call) {
    const int count = ++faults.calls[call];
    for (const Fault &fault : faults.planted) {
        if (fault.call == call && (fault.at == 0 || fault.at == count)) {
            errno = fault.error;
            return true;
        }
    }
    return false;
}

const os::SystemCalls &real = os::realSystemCalls();
const os::SystemCalls kFaulty{
    [](int dir, const char *from, const char *to) {
        return fails(Fault::NoReplace) ? -1 : real.renameNoReplace(dir, from, to);
    },
    [](int dir, const char *a, const char *b) {
        return fails(Fault::Exchange) ? -1 : real.renameExchange(dir, a, b);
    },
    [](int dir, const char *from, const char *to) {
        return fails(Fault::Link) ? -1 : real.link(dir, from, to);
    },
    [](int from, int to, std::size_t length) -> ssize_t {
        return fails(Fault::CopyRange) ? -1 : real.copyRange(from, to, length);
    },
    [](int fd, const void *bytes, std::size_t size) -> ssize_t {
        if (fails(Fault::Write))
            return -1;
        return real.write(fd, bytes, faults.shortWrites ? std::min<std::size_t>(size, 1000) : size);
    },
    [](int fd) { return fails(Fault::Sync) ? -1 : real.sync(fd); },
};

/// One run on the faulty table: an apply with consent to replace an earlier output.
struct SeamCase {
    const char *name;
    bool bundle;
    std::vector<Fault> planted;
    bool shortWrites = false;
    std::string reason = {};   ///< why the apply fails; empty when it succeeds
    std::string logError = {}; ///< why its log is not written; empty when it is
};

} // namespace

// Every fallback of the file layer, taken by removing or failing calls. A failed apply leaves
// the input and the earlier output exactly as they were and names the real cause; a successful
// one writes the same output as a run on the real calls.
TEST(RelinkRun, EveryFallbackOfTheFileLayer) {
    using enum Fault::Call;
    const std::vector<Fault> noExchange{{Exchange, EINVAL}}, noLinks{{Link, EPERM}};
    const std::vector<Fault> bare{{NoReplace, EINVAL}, {Exchange, EINVAL}, {Link, EPERM}};
    const SeamCase cases[] = {
        {"no exclusive rename", false, {{NoReplace, EINVAL}}},
        {"no exclusive rename, no hard links", false, {{NoReplace, ENOSYS}, {Link, EPERM}}},
        {"no exclusive rename, rename-exchange or hard links", true, bare},
        {"no rename-exchange", true, noExchange},
        {"copy_file_range across file systems, short writes", true, {{CopyRange, EXDEV}}, true},
        {"no copy_file_range", true, {{CopyRange, ENOSYS}}},
        {"copy_file_range refusing the file", true, {{CopyRange, EINVAL}}},
        {"the document cannot reach the disk",
         false,
         {{Sync, EIO, 1}},
         false,
         "Input/output error"},
        {"a copied entry cannot reach the disk",
         true,
         {{Sync, EIO, 1}},
         false,
         "Input/output error"},
        {"a full disk copying without copy_file_range",
         true,
         {{CopyRange, EXDEV}, {Write, ENOSPC, 1}},
         false,
         "the disk is full"},
        // The old bundle is set aside, the new one cannot move in: the old one goes back.
        {"no rename-exchange, and the new bundle cannot move in",
         true,
         {{Exchange, EINVAL}, {NoReplace, EIO, 2}},
         false,
         "Input/output error"},
        {"a full disk writing the log", false, {{Write, ENOSPC, 1}}, false, {}, "the disk is full"},
    };
    TempDir dir;
    writeFile(dir / "Day1.fcpxml", kDocument);
    writeFile(dir / "Day1.fcpxmld" / "Info.fcpxml", kDocument);
    writeFile(dir / "Day1.fcpxmld" / "Media" / "cache.bin", std::string(20000, 'c'));
    std::map<bool, std::map<std::string, std::string>> expected;
    for (const bool bundle : {false, true}) {
        const fs::path input = dir / (bundle ? "Day1.fcpxmld" : "Day1.fcpxml");
        ASSERT_TRUE(run(input, RelinkRun::defaultOutputLocation(input), false).succeeded());
    }
    // The output's entries: the document, or the bundle and everything in it.
    const auto outputOf = [&](bool bundle) {
        const std::string name = bundle ? "Day1_braw.fcpxmld" : "Day1_braw.fcpxml";
        auto all = snapshot(dir.path());
        std::erase_if(all, [&](const auto &entry) {
            return entry.first != name && entry.first.rfind(name + "/", 0) != 0;
        });
        return all;
    };
    for (const bool bundle : {false, true})
        expected[bundle] = outputOf(bundle);
    for (const SeamCase &c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path input = dir / (c.bundle ? "Day1.fcpxmld" : "Day1.fcpxml");
        const fs::path output = RelinkRun::defaultOutputLocation(input);
        writeFile(c.bundle ? output / "Info.fcpxml" : output, "an earlier output");
        fs::remove(dir / "Day1_braw.relink.log");
        const auto before = snapshot(dir.path());

        faults = {c.planted, c.shortWrites};
        os::setSystemCalls(&kFaulty);
        const RunOutcome outcome = run(input, output, false, true);
        os::setSystemCalls(nullptr);

        if (!c.reason.empty()) {
            EXPECT_EQ(outcome.errorMessage, (c.bundle ? "Failed to copy bundle: “Day1.fcpxmld”"
                                                      : "Failed to copy file: “Day1.fcpxml”") +
                                                std::string(" could not be copied to “") +
                                                output.string() + "”: " + c.reason + ".");
            EXPECT_EQ(snapshot(dir.path()), before);
            continue;
        }
        ASSERT_TRUE(outcome.succeeded()) << outcome.errorMessage;
        // The inputs, the two outputs, and the log unless it failed: no temporary is left.
        EXPECT_EQ(entriesIn(dir.path()), c.logError.empty() ? 5 : 4);
        if (c.logError.empty()) {
            EXPECT_EQ(outcome.logPath, dir / "Day1_braw.relink.log");
        } else {
            EXPECT_EQ(outcome.logError, "The change log could not be written to “" +
                                            (dir / "Day1_braw.relink.log").string() +
                                            "”: " + c.logError + ".");
        }
        EXPECT_EQ(outputOf(c.bundle), expected[c.bundle]);
    }
}

namespace {

/// What another program does to the input while an apply writes its output.
void (*g_changeInput)() = nullptr;

const os::SystemCalls kChangingInput{
    real.renameNoReplace,
    real.renameExchange,
    real.link,
    real.copyRange,
    real.write,
    [](int fd) {
        if (g_changeInput)
            std::exchange(g_changeInput, nullptr)();
        return real.sync(fd);
    },
};

fs::path g_input;

} // namespace

// The input is mapped, not copied: a document saved over by another program during an apply,
// whether cut short or rewritten at the same size, fails the apply instead of giving an output
// of two versions. The earlier output stays.
TEST(RelinkRun, InputChangedDuringTheApplyWritesNothing) {
    const struct {
        const char *name;
        void (*change)();
    } cases[] = {
        {"cut short", [] { fs::resize_file(g_input, 10); }},
        {"rewritten at the same size",
         [] {
             std::string bytes = readFile(g_input);
             bytes[bytes.find("B.mov")] = 'C';
             writeFile(g_input, bytes);
         }},
    };
    TempDir dir;
    g_input = dir / "Day1.fcpxml";
    const fs::path output = dir / "Day1_braw.fcpxml";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(g_input, kDocument);
        // An old time, so that a rewrite within the file system's clock tick still shows.
        const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, g_input.c_str(), old, 0), 0);
        writeFile(output, "an earlier output");
        g_changeInput = c.change;
        os::setSystemCalls(&kChangingInput);
        const RunOutcome outcome = run(g_input, output, false, true);
        os::setSystemCalls(nullptr);
        EXPECT_EQ(g_changeInput, nullptr);
        EXPECT_EQ(outcome.errorMessage, "“Day1.fcpxml” changed while it was being relinked; try "
                                        "again once it is saved. Nothing was written.");
        EXPECT_EQ(readFile(output), "an earlier output");
        EXPECT_EQ(entriesIn(dir.path()), 2);
    }
}
