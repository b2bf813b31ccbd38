#include "engine/relink/fcpxml_relinker.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

using namespace tessaly;
using tessaly::testing::readFile;
using tessaly::testing::TempDir;
using tessaly::testing::writeFile;

namespace {

const char *const kWorkedExample = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE fcpxml>

<fcpxml version="1.10">
    <resources>
        <format id="r1" name="FFVideoFormat1080p24" frameDuration="100/2400s"/>
        <format id="r2" name='FFVideoFormatRateUndefined' width="4608"/>
        <asset id="r3" name="A001" uid="U3" format="r2" hasVideo="1">
            <media-rep kind="original-media" src="file:///Media/A001.braw"/>
        </asset>
        <asset id="r4" name="A002" uid="U4" format="r1" hasVideo="1">
            <media-rep kind="original-media" sig="S4" src="file:///Media/A002.mov">
                <bookmark>Ym9vaw==</bookmark>
            </media-rep>
        </asset>
        <asset id="r5" name="A003" format="r1" hasVideo="1">
            <media-rep kind="original-media" src="file:///Media/A003.MOV"/>
        </asset>
    </resources>
    <library>
        <event name="Day 1">
            <project name="Cut">
                <sequence format="r1" duration="10s">
                    <spine>
                        <asset-clip ref="r4" format="r1" duration="5s"/>
                        <asset-clip ref='r5' duration="5s"/>
                        <asset-clip ref="r3" duration="5s"/>
                    </spine>
                </sequence>
            </project>
        </event>
    </library>
</fcpxml>
)";

// Removed nodes leave their surrounding whitespace; new assets follow the last child node.
const char *const kWorkedExampleRelinked = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE fcpxml>

<fcpxml version="1.10">
    <resources>
        
        <format id="r2" name='FFVideoFormatRateUndefined' width="4608"/>
        <asset id="r3" name="A001" uid="U3" format="r2" hasVideo="1">
            <media-rep kind="original-media" src="file:///Media/A001.braw"/>
        </asset>
        
        
    <asset id="r6" name="A002" uid="U4" format="r2" hasVideo="1">
            <media-rep kind="original-media" sig="U4" src="file:///Media/A002.braw">
                
            </media-rep>
        </asset><asset id="r7" name="A003" format="r2" hasVideo="1">
            <media-rep kind="original-media" src="file:///Media/A003.braw"/>
        </asset></resources>
    <library>
        <event name="Day 1">
            <project name="Cut">
                <sequence format="r2" duration="10s">
                    <spine>
                        <asset-clip ref="r6" format="r2" duration="5s"/>
                        <asset-clip ref='r7' duration="5s"/>
                        <asset-clip ref="r3" duration="5s"/>
                    </spine>
                </sequence>
            </project>
        </event>
    </library>
</fcpxml>
)";

std::string relinkText(const std::string &text, RelinkResult *result = nullptr) {
    auto doc = xml::Document::parse(text, "Test.fcpxml");
    RelinkResult relinked = FCPXMLRelinker::relink(doc);
    if (result)
        *result = relinked;
    return doc.xmlData();
}

/// A document whose resources hold the given assets, and whose spine the given clips.
std::string documentWith(const std::string &resources, const std::string &spine = {}) {
    return "<fcpxml version=\"1.10\">\n<resources>\n" + resources +
           "</resources>\n<library><event><project><sequence><spine>\n" + spine +
           "</spine></sequence></project></event></library>\n</fcpxml>\n";
}

std::string asset(const std::string &id, const std::string &format, const std::string &src) {
    return "<asset id=\"" + id + "\" format=\"" + format + "\"><media-rep src=\"" + src +
           "\"/></asset>\n";
}

/// An asset in the form of FCPXML 1.8 and older: the media location on the asset itself.
std::string ownSrcAsset(const std::string &id, const std::string &format, const std::string &src,
                        const std::string &content = {}) {
    return "<asset id=\"" + id + "\" format=\"" + format + "\" src=\"" + src + "\">" + content +
           "</asset>\n";
}

struct ChangeRow {
    std::string stem, oldSrc, newSrc, oldAssetID, newAssetID;
};

void expectChanges(const RelinkResult &result, const std::vector<ChangeRow> &expected) {
    ASSERT_EQ(result.changes.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const RelinkChange &change = result.changes[i];
        EXPECT_EQ(change.stem, expected[i].stem) << i;
        EXPECT_EQ(change.oldSrc, expected[i].oldSrc) << i;
        EXPECT_EQ(change.newSrc, expected[i].newSrc) << i;
        EXPECT_EQ(change.oldAssetID, expected[i].oldAssetID) << i;
        EXPECT_EQ(change.newAssetID, expected[i].newAssetID) << i;
    }
}

/// A document that relinks: the records it gives, texts its output keeps and the formats it
/// loses.
struct RelinkCase {
    const char *name;
    std::string document;
    std::vector<ChangeRow> changes;
    std::vector<std::string> kept = {};
    std::vector<std::string> removedFormats = {};
};

// Parsed in memory or loaded from a file with the places of its attributes noted, a document
// relinks alike. Each proxy is replaced once, its copy appended in the order of the changes.
void expectRelinked(const RelinkCase &c) {
    SCOPED_TRACE(c.name);
    RelinkResult result;
    const std::string output = relinkText(c.document, &result);
    expectChanges(result, c.changes);
    EXPECT_EQ(result.orphanFormatsRemoved, c.removedFormats);
    for (const auto &text : c.kept)
        EXPECT_NE(output.find(text), std::string::npos) << text.substr(0, 100);
    std::size_t previous = 0;
    for (const auto &change : c.changes) {
        const auto at = output.find("<asset id=\"" + change.newAssetID + "\"");
        EXPECT_GT(at, previous) << change.newAssetID;
        previous = at == std::string::npos ? previous : at;
        EXPECT_EQ(output.find("<asset id=\"" + change.oldAssetID + "\""), std::string::npos);
    }

    TempDir dir;
    writeFile(dir / "in.fcpxml", c.document);
    FCPXMLRelinker::process(dir / "in.fcpxml", dir / "out.fcpxml", false);
    EXPECT_TRUE(readFile(dir / "out.fcpxml") == output) << "loaded from a file, relinked otherwise";
}

} // namespace

TEST(FCPXMLRelinker, WorkedExampleByteForByte) {
    RelinkResult result;
    EXPECT_EQ(relinkText(kWorkedExample, &result), kWorkedExampleRelinked);
    expectChanges(result, {{"A002", "/Media/A002.mov", "/Media/A002.braw", "r4", "r6"},
                           {"A003", "/Media/A003.MOV", "/Media/A003.braw", "r5", "r7"}});
    EXPECT_EQ(result.brawFormat,
              (std::map<std::string, std::string>{
                  {"id", "r2"}, {"name", "FFVideoFormatRateUndefined"}, {"width", "4608"}}));
    EXPECT_EQ(result.orphanFormatsRemoved, std::vector<std::string>{"r1"});
}

TEST(FCPXMLRelinker, ProcessWritesOnlyForAnApply) {
    TempDir dir;
    const auto input = dir / "Day1.fcpxml";
    writeFile(input, kWorkedExample);

    const auto preview = FCPXMLRelinker::process(input, dir / "out.fcpxml", true);
    EXPECT_EQ(preview.changes.size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.fcpxml"));
    EXPECT_EQ(readFile(input), kWorkedExample);

    FCPXMLRelinker::process(input, input, false);
    EXPECT_EQ(readFile(input), kWorkedExampleRelinked);
}

TEST(FCPXMLRelinker, ProcessLeavesTheOutputAloneWhenRelinkRefuses) {
    TempDir dir;
    const auto input = dir / "NoMov.fcpxml";
    writeFile(input, documentWith(asset("r2", "r1", "file:///a/A.braw")));
    writeFile(dir / "out.fcpxml", "previous");
    EXPECT_THROW(FCPXMLRelinker::process(input, dir / "out.fcpxml", false), RelinkError);
    EXPECT_EQ(readFile(dir / "out.fcpxml"), "previous");
    EXPECT_THROW(FCPXMLRelinker::process(dir / "missing.fcpxml", dir / "x", true),
                 xml::DocumentError);
    EXPECT_THROW(FCPXMLRelinker::process(dir.path(), dir / "x", true), xml::DocumentError);
    writeFile(dir / "Latin.fcpxml", "<?xml version='1.0' encoding='ISO-8859-1'?><fcpxml/>");
    try {
        FCPXMLRelinker::process(dir / "Latin.fcpxml", dir / "x", true);
        ADD_FAILURE() << "accepted";
    } catch (const xml::DocumentError &error) {
        EXPECT_EQ(error.message(), "“Latin.fcpxml” uses the encoding ISO-8859-1, which Tessaly "
                                   "cannot read; export the document as UTF-8.");
    }
}

// Every refusal comes before the first change: the document is left byte for byte.
TEST(FCPXMLRelinker, RefusalsComeInTheirOrderAndChangeNothing) {
    const std::string braw = asset("r2", "r1", "file:///a/B.braw");
    struct Case {
        const char *name;
        std::string document;
        RelinkError::Case refusal;
    };
    const std::vector<Case> cases = {
        {"no resources", "<fcpxml/>", RelinkError::Case::noResources},
        {"a library only", "<fcpxml><library/></fcpxml>", RelinkError::Case::noResources},
        {"only .mov references: no .braw is reported first",
         documentWith(asset("r2", "r1", "file:///a/A.mov")), RelinkError::Case::noBrawFound},
        {".mp4 and .mxf proxies count as none",
         documentWith(braw + asset("r3", "r1", "file:///a/B.mp4") +
                      asset("r4", "r1", "file:///a/C.mxf")),
         RelinkError::Case::noMovFound},
        {"a proxy of another scheme", documentWith(braw + asset("r3", "r1", "https://host/A.mov")),
         RelinkError::Case::noMovFound},
        {"an original of another scheme",
         documentWith(asset("r2", "r1", "smb://server/Z.braw") +
                      asset("r3", "r1", "file:///m/A.mov")),
         RelinkError::Case::noBrawFound},
        {"a duplicate stem wins over a missing .mov",
         documentWith(braw + asset("r3", "r1", "file:///b/B.braw")),
         RelinkError::Case::duplicateStem},
        {"one name in two folders",
         documentWith(braw + asset("r3", "r1", "file:///m/A.mov") +
                      asset("r4", "r1", "file:///n/A.mov")),
         RelinkError::Case::duplicateStem},
        {"one asset naming two folders",
         documentWith(braw + "<asset id=\"r3\" format=\"r1\"><media-rep src=\"file:///m/A.mov\"/>"
                             "<media-rep src=\"file:///proxy/A.mov\"/></asset>\n"),
         RelinkError::Case::duplicateStem},
        {"one name in two cases of its extension",
         documentWith(braw + asset("r3", "r1", "file:///m/A.mov") +
                      asset("r4", "r1", "file:///m/A.MOV")),
         RelinkError::Case::duplicateStem},
        {"one name composed and decomposed",
         documentWith(braw + asset("r3", "r1", "file:///x/Caf%C3%A9.mov") +
                      asset("r4", "r1", "file:///y/Cafe%CC%81.mov")),
         RelinkError::Case::duplicateStem},
        {"an original in two folders",
         documentWith(braw + asset("r3", "r1", "file:///n/B.braw") +
                      asset("r4", "r1", "file:///m/A.mov")),
         RelinkError::Case::duplicateStem},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto doc = xml::Document::parse(c.document);
        try {
            FCPXMLRelinker::relink(doc);
            ADD_FAILURE() << "relinked";
        } catch (const RelinkError &error) {
            EXPECT_EQ(error.errorCase(), c.refusal);
        }
        EXPECT_EQ(doc.xmlData(), c.document);
    }

    try {
        relinkText(documentWith(braw + asset("r3", "r1", "file:///x/C0001.mov") +
                                asset("r4", "r1", "file:///y/C0001.MOV")));
        FAIL() << "expected duplicateStem";
    } catch (const RelinkError &error) {
        EXPECT_EQ(error.errorDescription(),
                  "Duplicate .mov filename found: 'C0001'. All proxy filenames must be unique.");
    }
}

TEST(FCPXMLRelinker, WhichReferencesAreProxies) {
    const std::string braw = asset("r2", "r1", "file:///m/Z.braw");
    const std::string huge(70 * 1024, 'L');
    const std::vector<RelinkCase> cases = {
        {"stems are case-sensitive",
         documentWith(braw + asset("r3", "r1", "file:///x/C0001.mov") +
                      asset("r4", "r1", "file:///y/c0001.mov")),
         {{"C0001", "/x/C0001.mov", "/x/C0001.braw", "r3", "r5"},
          {"c0001", "/y/c0001.mov", "/y/c0001.braw", "r4", "r6"}}},
        {"only assets with an id, only media-reps with a src",
         documentWith(braw +
                      "<asset format=\"r1\"><media-rep src=\"file:///a/NoID.mov\"/></asset>\n"
                      "<asset id=\"r3\" format=\"r1\"><media-rep kind=\"proxy-media\"/>"
                      "<media-rep src=\"file:///a/One.mov\"/>"
                      "<media-rep src=\"file:///b/Two.mov\"/></asset>\n"),
         {{"One", "/a/One.mov", "/a/One.braw", "r3", "r4"},
          {"Two", "/b/Two.mov", "/b/Two.braw", "r3", "r5"}},
         // The copy's first media-rep has no src, so neither copy gets one.
         {"<asset format=\"r1\"><media-rep src=\"file:///a/NoID.mov\"/></asset>",
          "<asset id=\"r4\" format=\"r1\"><media-rep kind=\"proxy-media\"/><media-rep "
          "src=\"file:///a/One.mov\"/>"}},
        {"older exports name their media on the asset",
         documentWith("<format id=\"r1\"/><format id=\"r2\"/>\n" +
                          ownSrcAsset("r3", "r2", "file:///m/A.braw") +
                          ownSrcAsset("r4", "r1", "file:///m/B.mov",
                                      "<bookmark>Ym9vaw==</bookmark><metadata><md "
                                      "key=\"k\"/></metadata>") +
                          // With media-rep children the asset's own src is no media reference.
                          "<asset id=\"r5\" format=\"r1\" src=\"file:///m/C.mov\"><media-rep "
                          "src=\"file:///m/D.mov\"/></asset>\n" +
                          "<asset id=\"r6\" sig=\"S6\" uid=\"U6\" src=\"file:///m/E.mov\"/>\n",
                      "<asset-clip ref=\"r4\" format=\"r1\"/><asset-clip ref=\"r6\"/>\n"),
         {{"B", "/m/B.mov", "/m/B.braw", "r4", "r7"},
          {"D", "/m/D.mov", "/m/D.braw", "r5", "r8"},
          {"E", "/m/E.mov", "/m/E.braw", "r6", "r9"}},
         {"<asset id=\"r7\" format=\"r2\" src=\"file:///m/B.braw\"><metadata><md "
          "key=\"k\"/></metadata></asset>",
          "<asset id=\"r8\" format=\"r2\" src=\"file:///m/C.mov\"><media-rep "
          "src=\"file:///m/D.braw\"/></asset>",
          // A signature on the asset is the media's, as on a media-rep.
          "<asset id=\"r9\" sig=\"U6\" uid=\"U6\" src=\"file:///m/E.braw\"/>",
          "<asset-clip ref=\"r7\" format=\"r2\"/><asset-clip ref=\"r9\"/>"},
         {"r1"}},
        {"one file in three assets, spelled three ways, between another stem",
         documentWith(braw + asset("r3", "r1", "file:///m/My%20A.mov") +
                      asset("r4", "r1", "file:///m/B.mov") +
                      asset("r5", "r1", "file:///m/My A.mov") +
                      asset("r6", "r1", "file:///m/My%20%41.mov")),
         {{"My A", "/m/My A.mov", "/m/My A.braw", "r3", "r7"},
          {"My A", "/m/My A.mov", "/m/My A.braw", "r5", "r8"},
          {"My A", "/m/My A.mov", "/m/My A.braw", "r6", "r9"},
          {"B", "/m/B.mov", "/m/B.braw", "r4", "r10"}}},
        {"a folder composed and decomposed",
         documentWith(braw + asset("r3", "r1", "file:///Caf%C3%A9/A.mov") +
                      asset("r4", "r1", "file:///Cafe%CC%81/A.mov")),
         {{"A", "/Café/A.mov", "/Café/A.braw", "r3", "r5"},
          {"A", "/Cafe\xCC\x81/A.mov", "/Cafe\xCC\x81/A.braw", "r4", "r6"}}},
        {"two references of one asset to the file",
         documentWith(braw + "<asset id=\"r3\" format=\"r1\"><media-rep src=\"file:///m/A.mov\"/>"
                             "<media-rep src=\"file:///m/A.mov\"/></asset>\n"),
         {{"A", "/m/A.mov", "/m/A.braw", "r3", "r4"}}},
        {"one original in several assets",
         documentWith(braw + asset("r3", "r1", "file:///m/Z.braw") +
                      asset("r4", "r1", "file:///m/A.mov")),
         {{"A", "/m/A.mov", "/m/A.braw", "r4", "r5"}}},
        // A text longer than any identifier or path names nothing: it is passed by, not copied
        // into keys and records, so a run's memory stays bounded by its document.
        {"a proxy's src too long to be a key",
         documentWith(braw + asset("r3", "r1", "file:///m/" + huge + ".mov") +
                      asset("r4", "r1", "file:///m/A.mov")),
         {{"A", "/m/A.mov", "/m/A.braw", "r4", "r5"}},
         {"<asset id=\"r3\" format=\"r1\"><media-rep src=\"file:///m/" + huge + ".mov\"/>"}},
        {"a proxy's id too long to be a key",
         documentWith(braw + asset("r" + huge, "r1", "file:///m/B.mov") +
                          asset("r4", "r1", "file:///m/A.mov"),
                      "<clip ref=\"r" + huge + "\"/>"),
         {{"A", "/m/A.mov", "/m/A.braw", "r4", "r5"}},
         {"<clip ref=\"r" + huge + "\"/>", "<asset id=\"r" + huge + "\""}},
        {"a proxy's uid too long to be a key",
         documentWith(braw + "<asset id=\"r4\" uid=\"" + huge +
                      "\"><media-rep sig=\"S\" src=\"file:///m/A.mov\"/></asset>"),
         {{"A", "/m/A.mov", "/m/A.braw", "r4", "r5"}},
         {"<media-rep sig=\"r5\" src=\"file:///m/A.braw\"/>"}},
    };
    for (const RelinkCase &c : cases)
        expectRelinked(c);
}

// The timeline pass rewrites every element below the root but the root's `resources`, and the
// `media` (compound and multicam clips) inside those; each top-level element decides for itself.
TEST(FCPXMLRelinker, TheTimelineFollowsTheNewAssets) {
    const std::string resources = "<format id=\"r1\"/><format id=\"r2\"/>" +
                                  asset("r3", "r2", "file:///a/B.braw") +
                                  asset("r4", "r1", "file:///a/C.mov");
    const std::string hugeAccented = [] {
        std::string text;
        for (int i = 0; i < 40 * 1024; ++i)
            text += "\xC3\xA9";
        return text;
    }();
    const std::vector<RelinkCase> cases = {
        {"clips, compound and multicam clips but no other resource",
         documentWith(resources + "<effect id=\"r5\" ref=\"r4\"/>\n"
                                  "<media id=\"r6\"><sequence format=\"r1\"><spine>"
                                  "<asset-clip ref=\"r4\"/></spine></sequence></media>\n"
                                  "<media id=\"r7\"><multicam format=\"r1\"><mc-angle>"
                                  "<asset-clip ref=\"r4\"/></mc-angle></multicam></media>\n",
                      "<asset-clip ref=\"r4\" format=\"r1\"><filter-video ref=\"r5\"/>"
                      "<asset-clip ref=\"r3\" format=\"r2\"/></asset-clip>"
                      "<ref-clip ref=\"r6\"/><mc-clip ref=\"r7\"/>\n"),
         {{"C", "/a/C.mov", "/a/C.braw", "r4", "r8"}},
         {"<effect id=\"r5\" ref=\"r4\"/>",
          "<media id=\"r6\"><sequence format=\"r2\"><spine><asset-clip "
          "ref=\"r8\"/></spine></sequence></media>",
          "<media id=\"r7\"><multicam format=\"r2\"><mc-angle><asset-clip ref=\"r8\"/>",
          "<asset-clip ref=\"r8\" format=\"r2\"><filter-video ref=\"r5\"/>"
          "<asset-clip ref=\"r3\" format=\"r2\"/></asset-clip><ref-clip ref=\"r6\"/><mc-clip "
          "ref=\"r7\"/>"},
         {"r1"}},
        {"a second resources is skipped like the first",
         "<fcpxml><resources>" + resources +
             "</resources><title ref=\"r4\"/><resources ref=\"r4\" format=\"r1\"><clip "
             "ref=\"r4\"/><media ref=\"r4\"><clip ref=\"r4\"/></media></resources><title "
             "ref=\"r4\" format='r1'/></fcpxml>",
         {{"C", "/a/C.mov", "/a/C.braw", "r4", "r5"}},
         {"</resources><title ref=\"r5\"/><resources ref=\"r4\" format=\"r1\"><clip "
          "ref=\"r4\"/><media ref=\"r5\"><clip ref=\"r5\"/></media></resources><title "
          "ref=\"r5\" format='r2'/></fcpxml>"}},
        {"the root's attributes keep their values",
         "<fcpxml ref=\"r4\" format=\"r1\"><resources>" + resources + "</resources></fcpxml>",
         {{"C", "/a/C.mov", "/a/C.braw", "r4", "r5"}},
         {"<fcpxml ref=\"r4\" format=\"r1\">"}},
        {"references written with character references",
         documentWith(resources, "<asset-clip ref=\"r&#52;\" format=\"r&#x31;\"/>\n"),
         {{"C", "/a/C.mov", "/a/C.braw", "r4", "r5"}},
         {"<asset-clip ref=\"r5\" format=\"r2\"/>"},
         {"r1"}},
        {"references too long to be keys",
         documentWith(resources, "<title ref=\"" + hugeAccented + "\" format=\"" + hugeAccented +
                                     "\"/><event id=\"r" + hugeAccented + "\"/>"),
         {{"C", "/a/C.mov", "/a/C.braw", "r4", "r5"}},
         {"<title ref=\"" + hugeAccented + "\" format=\"" + hugeAccented + "\"/>"},
         {"r1"}},
    };
    for (const RelinkCase &c : cases)
        expectRelinked(c);
}

TEST(FCPXMLRelinker, DeepTimelineIsRewrittenWithoutRecursion) {
    constexpr int kDepth = 1'000'000;
    std::string text = "<fcpxml><resources><format id=\"r1\"/><format id=\"r2\"/>" +
                       asset("r3", "r2", "file:///a/B.braw") +
                       asset("r4", "r1", "file:///a/C.mov") + "</resources>";
    text.reserve(text.size() + kDepth * 12 + 64);
    for (int i = 0; i < kDepth; ++i)
        text += "<g>";
    text += "<asset-clip ref=\"r4\" format=\"r1\"/>";
    for (int i = 0; i < kDepth; ++i)
        text += "</g>";
    text += "</fcpxml>";
    const std::string output = relinkText(text);
    EXPECT_NE(output.find("<asset-clip ref=\"r5\" format=\"r2\"/>"), std::string::npos);
    EXPECT_EQ(output.find("ref=\"r4\""), std::string::npos);
}

// A copy takes a new identifier free in the whole document and the reference format, and only
// where the proxy had them; a format goes only when nothing names it any more.
TEST(FCPXMLRelinker, CopiesAndFormats) {
    const std::string formats = "<format id=\"r9\" name=\"second proxy\"/><format id=\"r1\" "
                                "name=\"proxy\"/><format id=\"r2\" name=\"braw\"/>\n";
    const std::string braw = asset("r3", "r2", "file:///m/A.braw");
    const std::vector<RelinkCase> cases = {
        {"a copy gains only what the proxy had",
         documentWith(asset("r2", "r9", "file:///a/B.braw") +
                      "<asset id=\"r3\" name=\"No format\"><media-rep sig=\"old\" "
                      "src=\"file:///a/C.mov\"/></asset>\n" +
                      asset("r4", "r1", "file:///a/D.mov")),
         {{"C", "/a/C.mov", "/a/C.braw", "r3", "r5"}, {"D", "/a/D.mov", "/a/D.braw", "r4", "r6"}},
         {"<asset id=\"r5\" name=\"No format\"><media-rep sig=\"r5\" "
          "src=\"file:///a/C.braw\"/></asset>",
          "<asset id=\"r6\" format=\"r9\"><media-rep src=\"file:///a/D.braw\"/>"}},
        {"new identifiers avoid every id in the document",
         "<fcpxml><resources>" + formats + braw + asset("r4", "r1", "file:///m/B.mov") +
             "<effect id=\"r5\" name=\"Blur\"/><media id=\"r6\"><sequence><spine/></sequence>"
             "</media></resources><library><event id=\"r12\"/></library></fcpxml>",
         {{"B", "/m/B.mov", "/m/B.braw", "r4", "r13"}},
         {"<asset id=\"r13\" format=\"r2\">"},
         {"r1"}},
        {"orphans go in document order, a format still named is kept",
         "<fcpxml><resources>" + formats + "<format id=\"r8\" name=\"kept\"/>" + braw +
             asset("r4", "r1", "file:///m/B.mov") + asset("r5", "r9", "file:///m/C.mov") +
             asset("r6", "r8", "file:///m/D.mov") + asset("r7", "r8", "file:///m/E.wav") +
             "</resources></fcpxml>",
         {{"B", "/m/B.mov", "/m/B.braw", "r4", "r10"},
          {"C", "/m/C.mov", "/m/C.braw", "r5", "r11"},
          {"D", "/m/D.mov", "/m/D.braw", "r6", "r12"}},
         {"<format id=\"r8\" name=\"kept\"/>", "<asset id=\"r7\" format=\"r8\">"},
         {"r9", "r1"}},
    };
    for (const RelinkCase &c : cases)
        expectRelinked(c);
}

// The new assets take the format of the first .braw asset that names one; with none, every
// format stays where it is.
TEST(FCPXMLRelinker, TheReferenceFormatIsTheFirstOneNamed) {
    using Format = std::map<std::string, std::string>;
    struct Case {
        const char *name;
        std::string resources;
        std::string brawFormatID;
        Format brawFormat;
        std::vector<std::string> removed;
    };
    const std::string formats = "<format id=\"r1\" name=\"proxy\"/><format id=\"r2\" "
                                "name=\"braw\"/><format id=\"\" name=\"no id\"/>\n";
    const std::string proxy = asset("r5", "r1", "file:///m/A.mov");
    const Format brawFormat = {{"id", "r2"}, {"name", "braw"}};
    const std::vector<Case> cases = {
        {"first without format",
         formats + "<asset id=\"r3\"><media-rep src=\"file:///m/Y.braw\"/></asset>" +
             asset("r4", "r2", "file:///m/Z.braw") + proxy,
         "r2",
         brawFormat,
         {"r1"}},
        {"first with an empty format",
         formats + asset("r3", "", "file:///m/Y.braw") + asset("r4", "r2", "file:///m/Z.braw") +
             proxy,
         "r2",
         brawFormat,
         {"r1"}},
        {"none names a format",
         formats + asset("r3", "", "file:///m/Y.braw") +
             "<asset id=\"r4\"><media-rep src=\"file:///m/Z.braw\"/></asset>" + proxy,
         "",
         {},
         {}},
        {"a proxy without format orphans no format of empty id",
         formats + asset("r4", "r2", "file:///m/Z.braw") +
             "<asset id=\"r5\"><media-rep src=\"file:///m/A.mov\"/></asset>",
         "r2",
         brawFormat,
         {}},
        {"a format shared with the proxy is no orphan",
         formats + asset("r4", "r1", "file:///m/Z.braw") + proxy,
         "r1",
         {{"id", "r1"}, {"name", "proxy"}},
         {}},
        {"a reference format missing from the resources",
         formats + asset("r4", "r7", "file:///m/Z.braw") + proxy,
         "r7",
         {},
         {"r1"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RelinkResult result;
        const std::string output = relinkText(
            documentWith(c.resources, "<asset-clip ref=\"r5\" format=\"r1\"/>\n"), &result);
        ASSERT_EQ(result.changes.size(), 1u);
        EXPECT_EQ(result.brawFormatID, c.brawFormatID);
        EXPECT_EQ(result.brawFormat, c.brawFormat);
        EXPECT_EQ(result.orphanFormatsRemoved, c.removed);
        EXPECT_NE(output.find("<format id=\"\" name=\"no id\"/>"), std::string::npos);
        if (c.brawFormatID.empty()) {
            EXPECT_NE(output.find("<format id=\"r1\" name=\"proxy\"/>"), std::string::npos);
            EXPECT_NE(output.find("<asset id=\"r6\" format=\"r1\">"), std::string::npos);
            EXPECT_NE(output.find("<asset-clip ref=\"r6\" format=\"r1\"/>"), std::string::npos);
        }
    }
}
