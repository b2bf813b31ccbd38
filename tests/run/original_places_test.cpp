// Where a run finds each proxy's original, on real folder trees: beside the proxy, one folder up
// from a proxy folder, in the search folders the editor names.
#include "engine/run/relink_run.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace tessaly;
using namespace tessaly::testing;
namespace fs = std::filesystem;

namespace {

/// `text` with each @ replaced by `dir`.
std::string at(const TempDir &dir, std::string text) {
    const std::string folder = dir.path().string();
    for (auto found = text.find('@'); found != std::string::npos;
         found = text.find('@', found + folder.size()))
        text.replace(found, 1, folder);
    return text;
}

/// A document with one .braw asset and one proxy whose `src` is `proxySrc`.
std::string withProxy(const std::string &proxySrc) {
    return "<fcpxml version=\"1.10\"><resources><format id=\"r1\"/><format id=\"r2\"/>\n"
           "<asset id=\"r3\" format=\"r2\"><media-rep src=\"file:///m/Ref.braw\"/></asset>\n"
           "<asset id=\"r4\" format=\"r1\"><media-rep src=\"" +
           proxySrc + "\"/></asset>\n</resources></fcpxml>\n";
}

/// An entry of a tree: "path" a file, "path -> target" a link, "path => file" a hard link.
void arrange(const TempDir &dir, const std::vector<std::string> &tree) {
    for (const std::string &entry : tree) {
        const auto arrow = entry.find(" -> "), hard = entry.find(" => ");
        const fs::path path = dir / entry.substr(0, std::min(arrow, hard));
        fs::create_directories(path.parent_path());
        if (arrow != std::string::npos)
            fs::create_symlink(at(dir, entry.substr(arrow + 4)), path);
        else if (hard != std::string::npos)
            fs::create_hard_link(dir / entry.substr(hard + 4), path);
        else
            writeFile(path, "raw");
    }
}

struct Layout {
    const char *name;
    std::vector<std::string> tree;
    std::string proxySrc; ///< @ for the case's folder
    std::vector<std::string> searchFolders;
    OriginalPlace place;
    std::string newSrc;                  ///< the record's; @ for the case's folder
    std::string src = {};                ///< the new asset's, when it is not beside the proxy
    std::vector<std::string> found = {}; ///< candidates, or the unreadable folders
    bool bundle = false;
};

const std::string kNFD = "Cafe\xCC\x81", kNFCInURL = "Caf%C3%A9";

} // namespace

TEST(OriginalPlaces, FolderTrees) {
    using enum OriginalPlace;
    const std::vector<Layout> layouts = {
        {"beside the proxy", {"Card/A.braw"}, "file://@/Card/A.mov", {}, beside, "@/Card/A.braw"},
        {"one folder up from Proxy",
         {"Card/A001/C3.braw"},
         "file://@/Card/A001/Proxy/C3.mov",
         {},
         proxyFolderParent,
         "@/Card/A001/C3.braw",
         "file://@/Card/A001/C3.braw"},
        {"one folder up from PROXIES",
         {"X/B.braw"},
         "file://@/X/PROXIES/B.mov",
         {},
         proxyFolderParent,
         "@/X/B.braw",
         "file://@/X/B.braw"},
        {"one folder up from proxies, spelled on disk decomposed",
         {"X/" + kNFD + ".braw"},
         "file://@/X/proxies/" + kNFCInURL + ".mov",
         {},
         proxyFolderParent,
         "@/X/" + kNFD + ".braw",
         "file://@/X/Cafe%CC%81.braw"},
        {"other folder names never look up",
         {"X/B.braw"},
         "file://@/X/Proxy Media/B.mov",
         {},
         missing,
         "@/X/Proxy Media/B.braw"},
        {"beside comes first",
         {"C/Proxy/K.braw", "C/K.braw", "R/K.braw"},
         "file://@/C/Proxy/K.mov",
         {"@/R"},
         beside,
         "@/C/Proxy/K.braw"},
        {"in a search folder, upper-case extension",
         {"RAID/Day1/D.BRAW"},
         "file://@/Laptop/D.mov",
         {"@/RAID"},
         searchFolder,
         "@/RAID/Day1/D.BRAW",
         "file://@/RAID/Day1/D.BRAW"},
        {"decomposed in a search folder",
         {"RAID/" + kNFD + ".braw"},
         "file://@/Laptop/" + kNFCInURL + ".mov",
         {"@/RAID"},
         searchFolder,
         "@/RAID/" + kNFD + ".braw",
         "file://@/RAID/Cafe%CC%81.braw"},
        {"nested search folders reach one file once",
         {"RAID/Day1/E.braw"},
         "file://@/Laptop/E.mov",
         {"@/RAID/Day1", "@/RAID", "@/RAID/"},
         searchFolder,
         "@/RAID/Day1/E.braw",
         "file://@/RAID/Day1/E.braw"},
        {"hard links and links to a file count once",
         {"RAID/a/F.braw", "RAID/b/F.braw => RAID/a/F.braw", "RAID/c/F.braw -> @/RAID/a/F.braw"},
         "file://@/Laptop/F.mov",
         {"@/RAID"},
         searchFolder,
         "@/RAID/a/F.braw",
         "file://@/RAID/a/F.braw"},
        {"two files of one stem are ambiguous",
         {"RAID/a/G.braw", "RAID/b/G.Braw", "RAID/G.braw.txt"},
         "file://@/Laptop/G.mov",
         {"@/RAID"},
         ambiguous,
         "@/Laptop/G.braw",
         {},
         {"@/RAID/a/G.braw", "@/RAID/b/G.Braw"}},
        // Links to folders are never followed: the loop cannot hang the walk, and a clip
        // reached only through a link is not found.
        {"a link loop among search folders",
         {"RAID/x/I.braw", "RAID/x/loop -> @/RAID"},
         "file://@/Laptop/I.mov",
         {"@/RAID", "@/RAID/x/loop"},
         searchFolder,
         "@/RAID/x/I.braw",
         "file://@/RAID/x/I.braw"},
        {"a clip reached only through a link to a folder",
         {"RAID/y -> @/Other", "Other/J.braw"},
         "file://@/Laptop/J.mov",
         {"@/RAID"},
         missing,
         "@/Laptop/J.braw"},
        {"hidden folders are passed over",
         {"RAID/.Trashes/501/L.braw", "RAID/Day1/L.braw"},
         "file://@/Laptop/L.mov",
         {"@/RAID"},
         searchFolder,
         "@/RAID/Day1/L.braw",
         "file://@/RAID/Day1/L.braw"},
        {"a search folder that is not there is named",
         {},
         "file://@/Laptop/M.mov",
         {"@/Unplugged"},
         missing,
         "@/Laptop/M.braw",
         {},
         {"@/Unplugged"}},
        // The host and the scheme's case are passed over on disk; the record keeps its text.
        {"file://localhost/",
         {"Card/N.braw"},
         "file://localhost@/Card/N.mov",
         {},
         beside,
         "localhost@/Card/N.braw"},
        {"FILE:///", {"Card/N.braw"}, "FILE://@/Card/N.mov", {}, beside, "FILE://@/Card/N.braw"},
        // Relative to the output bundle, which the preview has not written.
        {"'..' leaving a bundle",
         {"Media/O.braw"},
         "../Media/O.mov",
         {},
         beside,
         "../Media/O.braw",
         {},
         {},
         true},
        {"relative, one folder up from Proxy inside a bundle",
         {"Day.fcpxmld/Media/P.braw"},
         "Media/Proxy/P.mov",
         {},
         proxyFolderParent,
         "Media/P.braw",
         "Media/P.braw",
         {},
         true},
    };
    for (const Layout &layout : layouts) {
        SCOPED_TRACE(layout.name);
        TempDir dir;
        arrange(dir, layout.tree);
        const fs::path input = dir / (layout.bundle ? "Day.fcpxmld/Info.fcpxml" : "Day.fcpxml");
        writeFile(input, withProxy(at(dir, layout.proxySrc)));
        RunRequest request;
        request.input = layout.bundle ? input.parent_path() : input;
        request.output = RelinkRun::defaultOutputLocation(request.input);
        request.dryRun = false;
        request.writeLog = false;
        for (const std::string &folder : layout.searchFolders)
            request.searchFolders.emplace_back(at(dir, folder));
        const RunOutcome outcome = RelinkRun::perform(request);
        ASSERT_TRUE(outcome.succeeded()) << outcome.errorMessage;
        const RelinkChange &change = outcome.result->changes.at(0);
        EXPECT_EQ(originalPlaceName(change.original), originalPlaceName(layout.place));
        EXPECT_EQ(change.newSrc, at(dir, layout.newSrc));
        EXPECT_EQ(change.brawFound, layout.place < missing);
        std::vector<std::string> found = change.candidates;
        for (const fs::path &folder : outcome.unreadableFolders)
            found.push_back(folder.string());
        EXPECT_EQ(found.size(), layout.found.size());
        for (std::size_t i = 0; i < std::min(found.size(), layout.found.size()); ++i)
            EXPECT_EQ(found[i], at(dir, layout.found[i]));
        const std::string written = readFile(
            layout.bundle ? fs::path(request.output) / "Info.fcpxml" : fs::path(request.output));
        if (!layout.src.empty()) {
            EXPECT_NE(written.find("src=\"" + at(dir, layout.src) + "\""), std::string::npos)
                << written;
        }
    }
}

// Nothing is guessed: an ambiguous original fails a run that requires every original.
TEST(OriginalPlaces, RequiringOriginalsRefusesAnAmbiguousOne) {
    TempDir dir;
    arrange(dir, {"RAID/a/G.braw", "RAID/b/G.braw"});
    writeFile(dir / "Day.fcpxml", withProxy(at(dir, "file://@/Laptop/G.mov")));
    RunRequest request;
    request.input = dir / "Day.fcpxml";
    request.output = dir / "Day_braw.fcpxml";
    request.dryRun = false;
    request.requireOriginals = true;
    request.searchFolders = {dir / "RAID"};
    const RunOutcome outcome = RelinkRun::perform(request);
    EXPECT_EQ(outcome.errorMessage,
              "1 of 1 .braw original of \u201CDay.fcpxml\u201D is found more than once in the "
              "search folders: \u201CG.braw\u201D (2 files). Nothing was written.");
    EXPECT_EQ(outcome.ambiguousOriginals, 1u);
    EXPECT_FALSE(fs::exists(request.output));
}
