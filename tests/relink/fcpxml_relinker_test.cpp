#include "engine/relink/fcpxml_relinker.h"
#include "engine/run/relink_run.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace tessaly;
using tessaly::testing::readFile;
using tessaly::testing::TempDir;
using tessaly::testing::writeFile;

namespace {

const char *const kWorkedExample = R"(<fcpxml version="1.10">
    <resources>
        <format id="r1" name="FFVideoFormat1080p24" frameDuration="100/2400s"/>
        <format id="r2" name='FFVideoFormatRateUndefined' width="4608"/>
        <asset id="r3" name="A001" format="r2">
            <media-rep kind="original-media" src="file:///Media/A001.braw"/>
        </asset>
        <asset id="r4" name="A002" uid="U4" format="r1">
            <media-rep kind="original-media" sig="S4" src="file:///Media/A002.mov">
                <bookmark>Ym9vaw==</bookmark>
            </media-rep>
        </asset>
        <asset id="r5" name="A003" format="r1">
            <media-rep kind="original-media" src="file:///Media/A003.MOV"/>
        </asset>
    </resources>
    <sequence format="r1" duration="10s">
        <spine>
            <asset-clip ref="r4" format="r1"/>
            <asset-clip ref='r5'/>
            <asset-clip ref="r3"/>
        </spine>
    </sequence>
</fcpxml>
)";

// Removed nodes leave their surrounding whitespace; new assets follow the last child node. The
// project keeps its format, which therefore stays.
const char *const kWorkedExampleRelinked = R"(<fcpxml version="1.10">
    <resources>
        <format id="r1" name="FFVideoFormat1080p24" frameDuration="100/2400s"/>
        <format id="r2" name='FFVideoFormatRateUndefined' width="4608"/>
        <asset id="r3" name="A001" format="r2">
            <media-rep kind="original-media" src="file:///Media/A001.braw"/>
        </asset>
        
        
    <asset id="r6" name="A002" uid="U4" format="r2">
            <media-rep kind="original-media" sig="U4" src="file:///Media/A002.braw">
                
            </media-rep>
        </asset><asset id="r7" name="A003" format="r2">
            <media-rep kind="original-media" src="file:///Media/A003.braw"/>
        </asset></resources>
    <sequence format="r1" duration="10s">
        <spine>
            <asset-clip ref="r6" format="r2"/>
            <asset-clip ref='r7'/>
            <asset-clip ref="r3"/>
        </spine>
    </sequence>
</fcpxml>
)";

/// A document whose resources hold the given assets, and whose spine the given clips.
std::string documentWith(const std::string &resources, const std::string &spine = {}) {
    return "<fcpxml version='1.10'>\n<resources>\n" + resources +
           "</resources>\n<library><event><project><sequence><spine>\n" + spine +
           "</spine></sequence></project></event></library>\n</fcpxml>\n";
}

std::string asset(const std::string &id, const std::string &format, const std::string &src) {
    return "<asset id='" + id + "' format='" + format + "'><media-rep src='" + src +
           "'/></asset>\n";
}

/// Formats r1 and r2, an original r3 of the format r2 and a proxy r4 of the format r1.
const std::string kOneProxy = "<format id='r1'/><format id='r2'/>" +
                              asset("r3", "r2", "file:///a/B.braw") +
                              asset("r4", "r1", "file:///a/C.mov");

/// Assets r2, r3, … of the format r1, one for each source in turn.
std::string assets(const std::vector<std::string> &sources) {
    std::string text;
    for (std::size_t i = 0; i < sources.size(); ++i)
        text += asset("r" + std::to_string(i + 2), "r1", sources[i]);
    return text;
}

/// The change records, one line each: "stem: old id old path -> new id new path".
std::vector<std::string> changesOf(const RelinkResult &result) {
    std::vector<std::string> lines;
    for (const RelinkChange &change : result.changes)
        lines.push_back(change.stem + ": " + change.oldAssetID + " " + change.oldSrc + " -> " +
                        change.newAssetID + " " + change.newSrc);
    return lines;
}

/// The result of the run that relinks the document `input` to `output`; fails the test with
/// the run's message when there is none.
RelinkResult relinked(const std::filesystem::path &input, const std::filesystem::path &output,
                      bool dryRun = false) {
    RunRequest request;
    request.input = input;
    request.output = output;
    request.dryRun = dryRun;
    request.replaceExisting = true;
    request.writeLog = false;
    RunOutcome outcome = RelinkRun::perform(request);
    EXPECT_TRUE(outcome.succeeded()) << outcome.errorMessage;
    return outcome.result.value_or(RelinkResult{});
}

/// A document, the records its relink gives, texts its output keeps and formats it loses.
struct RelinkCase {
    const char *name;
    std::string document;
    std::vector<std::string> changes;
    std::vector<std::string> kept = {};
    std::vector<std::string> removedFormats = {};
};

} // namespace

// A preview writes nothing; an apply writes the relinked document.
TEST(FCPXMLRelinker, WorkedExampleByteForByte) {
    TempDir dir;
    const auto input = dir / "Day1.fcpxml";
    writeFile(input, kWorkedExample);
    EXPECT_EQ(relinked(input, dir / "out.fcpxml", true).changes.size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.fcpxml"));

    const RelinkResult result = relinked(input, dir / "out.fcpxml");
    EXPECT_EQ(readFile(dir / "out.fcpxml"), kWorkedExampleRelinked);
    EXPECT_EQ(readFile(input), kWorkedExample);
    EXPECT_EQ(changesOf(result),
              (std::vector<std::string>{"A002: r4 /Media/A002.mov -> r6 /Media/A002.braw",
                                        "A003: r5 /Media/A003.MOV -> r7 /Media/A003.braw"}));
    EXPECT_EQ(result.brawFormatID, "r2");
    EXPECT_TRUE(result.orphanFormatsRemoved.empty());
}

// A refused document is told in the user's sentence and leaves the output as it was. A
// duplicate name is found before a missing .mov.
TEST(FCPXMLRelinker, RefusalsComeInTheirOrderAndWriteNothing) {
    struct Case {
        const char *name;
        std::string document;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"no resources", "<fcpxml><library/></fcpxml>", RelinkError::noResources().what()},
        {"a .mov, and an original of another scheme",
         documentWith(assets({"smb://server/Z.braw", "file:///m/A.mov"})),
         RelinkError::noBrawFound().what()},
        {"one original name in two folders, composed and decomposed, before a missing .mov",
         documentWith(assets({"file:///x/Caf%C3%A9.braw", "file:///y/Cafe%CC%81.braw"})),
         RelinkError::duplicateStem("Cafe\xCC\x81", "braw").what()},
        // The application names itself when it refuses an encoding.
        {"an encoding the parser does not read",
         "<?xml version='1.0' encoding='ISO-8859-1'?><fcpxml/>",
         "“in.fcpxml” uses the encoding ISO-8859-1, which Tessaly cannot read; export the "
         "document as UTF-8."},
    };
    TempDir dir;
    writeFile(dir / "out.fcpxml", "previous");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(dir / "in.fcpxml", c.document);
        RunRequest request;
        request.input = dir / "in.fcpxml";
        request.output = dir / "out.fcpxml";
        request.dryRun = false;
        request.replaceExisting = true;
        EXPECT_EQ(RelinkRun::perform(request).errorMessage, c.message);
        EXPECT_EQ(readFile(dir / "out.fcpxml"), "previous");
    }
}

// What a relink changes, document by document.
TEST(FCPXMLRelinker, RelinkedDocuments) {
    // A text longer than any identifier or path names nothing: it is passed by, not copied
    // into keys and records, so a run's memory stays bounded by its document.
    const std::string huge(70 * 1024, 'L');
    const std::string braw = asset("r2", "r1", "file:///m/Z.braw");
    const std::string formats = "<format id='r9' name='second proxy'/><format id='r1' "
                                "name='proxy'/><format id='r2' name='braw'/>"
                                "<format id='' name='no id'/>\n";
    const std::string original = asset("r3", "r2", "file:///m/A.braw");
    const std::string proxy = asset("r4", "r1", "file:///m/B.mov");
    // Clips nested this deep are rewritten without recursion.
    std::string deepOpen, deepClose;
    for (int i = 0; i < 1'000'000; ++i) {
        deepOpen += "<g>";
        deepClose += "</g>";
    }
    const std::vector<RelinkCase> cases = {
        // Which references are proxies.
        // An asset's first .mov or .braw reference decides, the editing program's own proxy
        // (proxy-media) passed over, and is the one rewritten: an asset is relinked once.
        {"only assets with an id, only media-reps with a src, an asset once",
         documentWith(braw +
                      "<asset format='r1'><media-rep src='file:///a/NoID.mov'/></asset>\n"
                      "<asset id='r3' format='r1'><media-rep kind='proxy-media'/>"
                      "<media-rep kind='proxy-media' src='file:///p/Gen.mov'/>"
                      "<media-rep src='file:///a/One.mov'/><media-rep src='file:///a/One.mov'/>"
                      "<media-rep src='file:///b/Two.mov'/></asset>\n"),
         {"One: r3 /a/One.mov -> r4 /a/One.braw"},
         {"<asset format='r1'><media-rep src='file:///a/NoID.mov'/></asset>",
          "<asset id='r4' format='r1'><media-rep kind='proxy-media'/><media-rep "
          "kind='proxy-media' src='file:///p/Gen.mov'/><media-rep src='file:///a/One.braw'/>"
          "<media-rep src='file:///a/One.mov'/><media-rep src='file:///b/Two.mov'/>"}},
        {"older exports name their media on the asset",
         documentWith("<format id='r1'/><format id='r2'/>\n"
                      "<asset id='r3' format='r2' src='file:///m/A.braw'/>\n"
                      "<asset id='r4' format='r1' sig='S4' uid='U4' src='file:///m/B.mov'>"
                      "<bookmark>Ym9vaw==</bookmark></asset>\n"
                      // With media-rep children the asset's own src is no media reference.
                      "<asset id='r5' format='r1' src='file:///m/C.mov'><media-rep "
                      "src='file:///m/D.mov'/></asset>\n"),
         {"B: r4 /m/B.mov -> r6 /m/B.braw", "D: r5 /m/D.mov -> r7 /m/D.braw"},
         // A signature on the asset is the media's, as on a media-rep.
         {"<asset id='r6' format='r2' sig='U4' uid='U4' src='file:///m/B.braw'></asset>",
          "<asset id='r7' format='r2' src='file:///m/C.mov'><media-rep "
          "src='file:///m/D.braw'/></asset>"},
         {"r1"}},
        // The record keeps each asset's own spelling of a folder, composed or decomposed.
        {"one file in two assets, spelled two ways, beside its name in lower case",
         documentWith(assets({"file:///m/Z.braw", "file:///Caf%C3%A9/My%20A.mov",
                              "file:///Caf%C3%A9/my a.mov", "file:///Cafe%CC%81/My A.mov"})),
         {"My A: r3 /Café/My A.mov -> r6 /Café/My A.braw",
          "My A: r5 /Cafe\xCC\x81/My A.mov -> r7 /Cafe\xCC\x81/My A.braw",
          "my a: r4 /Café/my a.mov -> r8 /Café/my a.braw"}},
        {"a src, an id, a uid, a ref and a format too long to be keys",
         documentWith(braw + asset("r3", "r1", "file:///m/" + huge + ".mov") +
                          asset("r" + huge, "r1", "file:///m/B.mov") + "<asset id='r4' uid='" +
                          huge + "'><media-rep sig='S' src='file:///m/A.mov'/></asset>\n",
                      "<clip ref='r" + huge + "' format='" + huge + "'/>\n"),
         {"A: r4 /m/A.mov -> r5 /m/A.braw"},
         {"<asset id='r3' format='r1'><media-rep src='file:///m/" + huge + ".mov'/>",
          "<asset id='r" + huge + "'", "<media-rep sig='r5' src='file:///m/A.braw'/>",
          "<clip ref='r" + huge + "' format='" + huge + "'/>"}},
        // The timeline pass rewrites every element below the root but the root's `resources`,
        // and the `media` (compound and multicam clips) inside those. A proxy that another
        // resource still names stays beside its twin, or that reference would name nothing.
        {"clips a million deep and compound clips but no other resource",
         documentWith(kOneProxy + "<effect id='r5' ref='r4'/>\n"
                                  "<media id='r6'><sequence format='r1'><spine>"
                                  "<asset-clip ref='r4'/></spine></sequence></media>\n",
                      deepOpen + "<asset-clip ref='r4' format='r1'/><ref-clip ref='r6'/>\n" +
                          // References written with character references are the same.
                          "<asset-clip ref='r&#52;' format='r&#x31;'/>\n" + deepClose),
         {"C: r4 /a/C.mov -> r7 /a/C.braw"},
         // The compound clip's sequence keeps its format, which therefore stays.
         {"<effect id='r5' ref='r4'/>", "<asset id='r4' format='r1'>",
          "<media id='r6'><sequence format='r1'><spine><asset-clip ref='r7'/></spine>",
          "<asset-clip ref='r7' format='r2'/><ref-clip ref='r6'/>\n"
          "<asset-clip ref='r7' format='r2'/>"}},
        {"the root's attributes keep their values",
         "<fcpxml ref='r4' format='r1'><resources>" + kOneProxy + "</resources></fcpxml>",
         {"C: r4 /a/C.mov -> r5 /a/C.braw"},
         {"<fcpxml ref='r4' format='r1'>", "<asset id='r4' format='r1'>"}},
        // A copy takes a new identifier free in the whole document and the reference format:
        // that of the first .braw asset that names one, and only where the proxy had a format.
        // A format goes only when nothing names it any more; with no reference format, every
        // format stays.
        {"orphans go in document order, a format still named is kept, the first original that "
         "names a format gives it, and ids are the whole document's",
         "<fcpxml><resources>" + formats + "<format id='r8' name='kept'/>" +
             "<asset id='r5'><media-rep src='file:///m/Y.braw'/></asset>" +
             asset("r6", "", "file:///m/X.braw") + original + proxy +
             asset("r7", "r9", "file:///m/C.mov") + asset("r10", "r8", "file:///m/D.mov") +
             asset("r11", "r8", "file:///m/E.wav") +
             "</resources><library><event id='r12'><clip ref='r4' format='r1'/></event>"
             "</library></fcpxml>",
         {"B: r4 /m/B.mov -> r13 /m/B.braw", "C: r7 /m/C.mov -> r14 /m/C.braw",
          "D: r10 /m/D.mov -> r15 /m/D.braw"},
         {"<format id='r8' name='kept'/>", "<asset id='r11' format='r8'>",
          "<asset id='r13' format='r2'>", "<clip ref='r13' format='r2'/>"},
         {"r9", "r1"}},
        {"with no reference format, every format stays",
         documentWith(formats + asset("r6", "", "file:///m/X.braw") + proxy,
                      "<asset-clip ref='r4' format='r1'/>"),
         {"B: r4 /m/B.mov -> r10 /m/B.braw"},
         {"<format id='r1' name='proxy'/>", "<asset id='r10' format='r1'>",
          "<asset-clip ref='r10' format='r1'/>"}},
        // A proxy that stays because another resource names it still names its format.
        {"a format named only by a proxy that stays is kept",
         documentWith(kOneProxy + "<effect id='r5' ref='r4'/>\n",
                      "<asset-clip ref='r4' format='r1'/>\n"),
         {"C: r4 /a/C.mov -> r6 /a/C.braw"},
         {"<format id='r1'/>", "<asset id='r4' format='r1'>", "<asset-clip ref='r6' format='r2'/>"}},
        // Not even a format of no id, nor one the reference format names but no element has;
        // its copy gains no format either.
        {"a proxy without a format orphans none",
         documentWith(formats + asset("r3", "r7", "file:///m/A.braw") +
                      "<asset id='r4'><media-rep src='file:///m/B.mov'/></asset>"),
         {"B: r4 /m/B.mov -> r10 /m/B.braw"},
         {"<format id='' name='no id'/>",
          "<asset id='r10'><media-rep src='file:///m/B.braw'/></asset>"}},
    };
    // Loaded from a file as a run loads it, with the places of its attributes noted, each
    // document relinks into one that keeps the given texts and none of the proxy assets.
    for (const RelinkCase &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        writeFile(dir / "in.fcpxml", c.document);
        const RelinkResult result = relinked(dir / "in.fcpxml", dir / "out.fcpxml");
        const std::string output = readFile(dir / "out.fcpxml");
        EXPECT_EQ(changesOf(result), c.changes);
        EXPECT_EQ(result.orphanFormatsRemoved, c.removedFormats);
        for (const auto &text : c.kept)
            EXPECT_NE(output.find(text), std::string::npos) << text.substr(0, 100);
        // Every other proxy is gone.
        for (const RelinkChange &change : result.changes) {
            const std::string tag = "<asset id='" + change.oldAssetID + "'";
            if (std::none_of(c.kept.begin(), c.kept.end(),
                             [&](const std::string &text) { return text.starts_with(tag); })) {
                EXPECT_EQ(output.find(tag), std::string::npos) << tag;
            }
        }
    }
}
