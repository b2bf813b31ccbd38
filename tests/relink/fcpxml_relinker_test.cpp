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

RelinkResult relinkText(const std::string &text, std::string *output = nullptr) {
    auto doc = xml::Document::parse(text, "Test.fcpxml");
    RelinkResult result = FCPXMLRelinker::relink(doc);
    if (output)
        *output = doc.xmlData();
    return result;
}

/// A document whose resources hold the given assets, and a spine that references r1.
std::string documentWith(const std::string &resources, const std::string &spine = {}) {
    return "<fcpxml version=\"1.10\">\n<resources>\n" + resources +
           "</resources>\n<library><event><project><sequence><spine>\n" + spine +
           "</spine></sequence></project></event></library>\n</fcpxml>\n";
}

std::string asset(const std::string &id, const std::string &format, const std::string &src) {
    return "<asset id=\"" + id + "\" format=\"" + format + "\"><media-rep src=\"" + src +
           "\"/></asset>\n";
}

RelinkError::Case errorOf(const std::string &text) {
    try {
        relinkText(text);
    } catch (const RelinkError &error) {
        return error.errorCase();
    }
    ADD_FAILURE() << "no RelinkError thrown";
    return RelinkError::Case::noRoot;
}

} // namespace

TEST(FCPXMLRelinker, WorkedExampleByteForByte) {
    std::string output;
    const RelinkResult result = relinkText(kWorkedExample, &output);
    EXPECT_EQ(output, kWorkedExampleRelinked);

    ASSERT_EQ(result.changes.size(), 2u);
    EXPECT_EQ(result.changes[0].stem, "A002");
    EXPECT_EQ(result.changes[0].oldSrc, "/Media/A002.mov");
    EXPECT_EQ(result.changes[0].newSrc, "/Media/A002.braw");
    EXPECT_EQ(result.changes[0].oldAssetID, "r4");
    EXPECT_EQ(result.changes[0].newAssetID, "r6");
    EXPECT_EQ(result.changes[1].stem, "A003");
    EXPECT_EQ(result.changes[1].oldSrc, "/Media/A003.MOV");
    EXPECT_EQ(result.changes[1].newSrc, "/Media/A003.braw");
    EXPECT_EQ(result.changes[1].oldAssetID, "r5");
    EXPECT_EQ(result.changes[1].newAssetID, "r7");
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
}

TEST(FCPXMLRelinker, RefusalsComeInTheirOrderAndChangeNothing) {
    EXPECT_EQ(errorOf("<fcpxml/>"), RelinkError::Case::noResources);
    EXPECT_EQ(errorOf("<fcpxml><library/></fcpxml>"), RelinkError::Case::noResources);
    // Only .mov references: no .braw is reported first.
    EXPECT_EQ(errorOf(documentWith(asset("r2", "r1", "file:///a/A.mov"))),
              RelinkError::Case::noBrawFound);
    // .mp4 and .mxf proxies count as none.
    EXPECT_EQ(errorOf(documentWith(asset("r2", "r1", "file:///a/A.braw") +
                                   asset("r3", "r1", "file:///a/B.mp4") +
                                   asset("r4", "r1", "file:///a/C.mxf"))),
              RelinkError::Case::noMovFound);
    // A duplicate stem wins over a missing .mov.
    EXPECT_EQ(errorOf(documentWith(asset("r2", "r1", "file:///a/A.braw") +
                                   asset("r3", "r1", "file:///b/A.braw"))),
              RelinkError::Case::duplicateStem);

    const std::string duplicate = documentWith(asset("r2", "r1", "file:///a/B.braw") +
                                               asset("r3", "r1", "file:///x/C0001.mov") +
                                               asset("r4", "r1", "file:///y/C0001.MOV"));
    auto doc = xml::Document::parse(duplicate);
    try {
        FCPXMLRelinker::relink(doc);
        FAIL() << "expected duplicateStem";
    } catch (const RelinkError &error) {
        EXPECT_EQ(error.errorDescription(),
                  "Duplicate .mov filename found: 'C0001'. All proxy filenames must be unique.");
    }
    EXPECT_EQ(doc.xmlData(), duplicate);
}

TEST(FCPXMLRelinker, StemsAreCaseSensitiveButCanonicallyEquivalent) {
    const auto result = relinkText(documentWith(asset("r2", "r1", "file:///a/B.braw") +
                                                asset("r3", "r1", "file:///x/C0001.mov") +
                                                asset("r4", "r1", "file:///y/c0001.mov")));
    EXPECT_EQ(result.changes.size(), 2u);

    // "é" precomposed and decomposed name the same file.
    EXPECT_EQ(errorOf(documentWith(asset("r2", "r1", "file:///a/B.braw") +
                                   asset("r3", "r1", "file:///x/Caf%C3%A9.mov") +
                                   asset("r4", "r1", "file:///y/Cafe%CC%81.mov"))),
              RelinkError::Case::duplicateStem);
}

TEST(FCPXMLRelinker, AssetsAndMediaRepsTakePartOnlyWithIdAndSrc) {
    const std::string text = documentWith(
        asset("r2", "r1", "file:///a/B.braw") +
        "<asset format=\"r1\"><media-rep src=\"file:///a/NoID.mov\"/></asset>\n"
        "<asset id=\"r3\" format=\"r1\"><media-rep kind=\"proxy-media\"/>"
        "<media-rep src=\"file:///a/One.mov\"/><media-rep src=\"file:///b/Two.mov\"/></asset>\n");
    std::string output;
    const auto result = relinkText(text, &output);
    ASSERT_EQ(result.changes.size(), 2u);
    EXPECT_EQ(result.changes[0].stem, "One");
    EXPECT_EQ(result.changes[1].stem, "Two");
    EXPECT_EQ(result.changes[0].oldAssetID, "r3");
    // The copy's first media-rep has no src, so neither copy gets one.
    EXPECT_EQ(output.find("file:///a/One.braw"), std::string::npos);
    EXPECT_NE(output.find("NoID.mov"), std::string::npos);
}

TEST(FCPXMLRelinker, CopiesOnlyGainWhatTheProxyHad) {
    const std::string text = documentWith(
        asset("r2", "r9", "file:///a/B.braw") +
        "<asset id=\"r3\" name=\"No format\"><media-rep sig=\"old\" "
        "src=\"file:///a/C.mov\"/></asset>\n"
        "<asset id=\"r4\" format=\"r1\"><media-rep src=\"file:///a/D.mov\"/></asset>\n");
    std::string output;
    relinkText(text, &output);
    EXPECT_NE(output.find("<asset id=\"r5\" name=\"No format\"><media-rep sig=\"r5\" "
                          "src=\"file:///a/C.braw\"/></asset>"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("<asset id=\"r6\" format=\"r9\"><media-rep src=\"file:///a/D.braw\"/>"),
              std::string::npos)
        << output;
}

TEST(FCPXMLRelinker, SharedFormatIsNoOrphanAndMissingFormatGivesEmptyMap) {
    const auto shared =
        relinkText(documentWith("<format id=\"r1\"/>\n" + asset("r2", "r1", "file:///a/B.braw") +
                                asset("r3", "r1", "file:///a/C.mov")));
    EXPECT_TRUE(shared.orphanFormatsRemoved.empty());
    EXPECT_EQ(shared.brawFormat, (std::map<std::string, std::string>{{"id", "r1"}}));

    const auto missing = relinkText(
        documentWith(asset("r2", "r7", "file:///a/B.braw") + asset("r3", "r1", "file:///a/C.mov")));
    EXPECT_TRUE(missing.brawFormat.empty());
    EXPECT_EQ(missing.brawFormatID, "r7");
    EXPECT_EQ(missing.changes.size(), 1u);
}

TEST(FCPXMLRelinker, TimelineRewriteSkipsResourcesButTheirMedia) {
    std::string output;
    relinkText(documentWith("<format id=\"r1\"/><format id=\"r2\"/>\n" +
                                asset("r3", "r2", "file:///a/B.braw") +
                                asset("r4", "r1", "file:///a/C.mov") +
                                "<effect id=\"r5\" ref=\"r4\"/>\n"
                                "<media id=\"r6\"><sequence format=\"r1\"><spine>"
                                "<asset-clip ref=\"r4\"/></spine></sequence></media>\n",
                            "<asset-clip ref=\"r4\" format=\"r1\"><filter-video ref=\"r5\"/>"
                            "<asset-clip ref=\"r3\" format=\"r2\"/></asset-clip>\n"),
               &output);
    EXPECT_NE(output.find("<effect id=\"r5\" ref=\"r4\"/>"), std::string::npos);
    EXPECT_NE(output.find("<media id=\"r6\"><sequence format=\"r2\"><spine><asset-clip "
                          "ref=\"r7\"/></spine></sequence></media>"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("<asset-clip ref=\"r7\" format=\"r2\"><filter-video ref=\"r5\"/>"
                          "<asset-clip ref=\"r3\" format=\"r2\"/></asset-clip>"),
              std::string::npos)
        << output;
}

// Each top-level element decides for itself, whatever its neighbours are; a second
// `resources` is skipped like the first, and the same text relinks alike whether the document
// was parsed in memory or loaded from a file with its attribute places noted.
TEST(FCPXMLRelinker, TimelineScopeIsDecidedPerTopLevelElement) {
    const std::string text =
        "<fcpxml><resources><format id=\"r1\"/><format id=\"r2\"/>" +
        asset("r3", "r2", "file:///a/B.braw") + asset("r4", "r1", "file:///a/C.mov") +
        "</resources><title ref=\"r4\"/><resources ref=\"r4\" format=\"r1\"><clip ref=\"r4\"/>"
        "<media ref=\"r4\"><clip ref=\"r4\"/></media></resources><title ref=\"r4\" "
        "format='r1'/></fcpxml>";
    std::string output;
    relinkText(text, &output);
    EXPECT_EQ(output.substr(output.find("</resources>")),
              "</resources><title ref=\"r5\"/><resources ref=\"r4\" format=\"r1\"><clip "
              "ref=\"r4\"/><media ref=\"r5\"><clip ref=\"r5\"/></media></resources><title "
              "ref=\"r5\" format='r2'/></fcpxml>");

    TempDir dir;
    writeFile(dir / "in.fcpxml", text);
    FCPXMLRelinker::process(dir / "in.fcpxml", dir / "out.fcpxml", false);
    EXPECT_EQ(readFile(dir / "out.fcpxml"), output);
}

TEST(FCPXMLRelinker, RootAttributesKeepTheirValues) {
    std::string output;
    relinkText(
        "<fcpxml ref=\"r3\" format=\"r1\"><resources><format id=\"r1\"/><format id=\"r2\"/>" +
            asset("r4", "r2", "file:///a/B.braw") + asset("r3", "r1", "file:///a/C.mov") +
            "</resources></fcpxml>",
        &output);
    EXPECT_EQ(output.rfind("<fcpxml ref=\"r3\" format=\"r1\">", 0), 0u);
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
    std::string output;
    relinkText(text, &output);
    EXPECT_NE(output.find("<asset-clip ref=\"r5\" format=\"r2\"/>"), std::string::npos);
    EXPECT_EQ(output.find("ref=\"r4\""), std::string::npos);
}

namespace {

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

} // namespace

TEST(FCPXMLRelinker, OlderExportsNameTheirMediaOnTheAsset) {
    const std::string text = documentWith(
        "<format id=\"r1\"/><format id=\"r2\"/>\n" + ownSrcAsset("r3", "r2", "file:///m/A.braw") +
            ownSrcAsset("r4", "r1", "file:///m/B.mov",
                        "<bookmark>Ym9vaw==</bookmark><metadata><md key=\"k\"/></metadata>") +
            // With media-rep children the asset's own src is not a media reference.
            "<asset id=\"r5\" format=\"r1\" src=\"file:///m/C.mov\"><media-rep "
            "src=\"file:///m/D.mov\"/></asset>\n" +
            "<asset id=\"r6\" sig=\"S6\" uid=\"U6\" src=\"file:///m/E.mov\"/>\n",
        "<asset-clip ref=\"r4\" format=\"r1\"/><asset-clip ref=\"r6\"/>\n");
    std::string output;
    const RelinkResult result = relinkText(text, &output);
    expectChanges(result, {{"B", "/m/B.mov", "/m/B.braw", "r4", "r7"},
                           {"D", "/m/D.mov", "/m/D.braw", "r5", "r8"},
                           {"E", "/m/E.mov", "/m/E.braw", "r6", "r9"}});
    EXPECT_NE(output.find("<asset id=\"r7\" format=\"r2\" src=\"file:///m/B.braw\"><metadata><md "
                          "key=\"k\"/></metadata></asset>"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("<asset id=\"r8\" format=\"r2\" src=\"file:///m/C.mov\"><media-rep "
                          "src=\"file:///m/D.braw\"/></asset>"),
              std::string::npos)
        << output;
    // A signature on the asset is the media's, as on a media-rep.
    EXPECT_NE(output.find("<asset id=\"r9\" sig=\"U6\" uid=\"U6\" src=\"file:///m/E.braw\"/>"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("<asset-clip ref=\"r7\" format=\"r2\"/><asset-clip ref=\"r9\"/>"),
              std::string::npos);
    EXPECT_EQ(result.orphanFormatsRemoved, std::vector<std::string>{"r1"});
}

// One file in several assets relinks each asset; one file name in two folders is refused.
TEST(FCPXMLRelinker, RepeatedProxyFilesRelinkEveryAsset) {
    const std::string braw = asset("r2", "r1", "file:///m/Z.braw");
    struct Case {
        const char *name;
        std::string resources;
        std::vector<ChangeRow> changes; ///< empty: duplicateStem expected
    };
    const std::vector<Case> cases = {
        {"one file in three assets, spelled three ways, between another stem",
         braw + asset("r3", "r1", "file:///m/My%20A.mov") + asset("r4", "r1", "file:///m/B.mov") +
             asset("r5", "r1", "file:///m/My A.mov") + asset("r6", "r1", "file:///m/My%20%41.mov"),
         {{"My A", "/m/My A.mov", "/m/My A.braw", "r3", "r7"},
          {"My A", "/m/My A.mov", "/m/My A.braw", "r5", "r8"},
          {"My A", "/m/My A.mov", "/m/My A.braw", "r6", "r9"},
          {"B", "/m/B.mov", "/m/B.braw", "r4", "r10"}}},
        {"a folder composed and decomposed",
         braw + asset("r3", "r1", "file:///Caf%C3%A9/A.mov") +
             asset("r4", "r1", "file:///Cafe%CC%81/A.mov"),
         {{"A", "/Café/A.mov", "/Café/A.braw", "r3", "r5"},
          {"A", "/Cafe\xCC\x81/A.mov", "/Cafe\xCC\x81/A.braw", "r4", "r6"}}},
        {"two references of one asset to the file",
         braw + "<asset id=\"r3\" format=\"r1\"><media-rep src=\"file:///m/A.mov\"/><media-rep "
                "src=\"file:///m/A.mov\"/></asset>\n",
         {{"A", "/m/A.mov", "/m/A.braw", "r3", "r4"}}},
        {"older exports alike",
         braw + ownSrcAsset("r3", "r1", "file:///m/A.mov") +
             ownSrcAsset("r4", "r1", "file:///m/A.mov"),
         {{"A", "/m/A.mov", "/m/A.braw", "r3", "r5"}, {"A", "/m/A.mov", "/m/A.braw", "r4", "r6"}}},
        {"one original in several assets",
         braw + asset("r3", "r1", "file:///m/Z.braw") + asset("r4", "r1", "file:///m/A.mov"),
         {{"A", "/m/A.mov", "/m/A.braw", "r4", "r5"}}},
        {"one name in two folders",
         braw + asset("r3", "r1", "file:///m/A.mov") + asset("r4", "r1", "file:///n/A.mov"),
         {}},
        {"one asset naming two folders",
         braw + "<asset id=\"r3\" format=\"r1\"><media-rep src=\"file:///m/A.mov\"/><media-rep "
                "src=\"file:///proxy/A.mov\"/></asset>\n",
         {}},
        {"one name in two cases",
         braw + asset("r3", "r1", "file:///m/A.mov") + asset("r4", "r1", "file:///m/A.MOV"),
         {}},
        {"an original in two folders",
         braw + asset("r3", "r1", "file:///n/Z.braw") + asset("r4", "r1", "file:///m/A.mov"),
         {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = documentWith(c.resources);
        if (c.changes.empty()) {
            EXPECT_EQ(errorOf(text), RelinkError::Case::duplicateStem);
            continue;
        }
        std::string output;
        const RelinkResult result = relinkText(text, &output);
        expectChanges(result, c.changes);
        // Each proxy is replaced once, its copy appended in the order of the changes.
        std::size_t previous = 0;
        for (const auto &change : c.changes) {
            const auto at = output.find("<asset id=\"" + change.newAssetID + "\"");
            EXPECT_GT(at, previous) << change.newAssetID << "\n" << output;
            previous = at == std::string::npos ? previous : at;
            EXPECT_EQ(output.find("<asset id=\"" + change.oldAssetID + "\""), std::string::npos);
        }
    }
}

TEST(FCPXMLRelinker, SourcesThatAreNotAbsoluteFileURLsKeepTheirSpelling) {
    const std::string text = documentWith(
        asset("r2", "r1", "file:///m/Z.braw") + asset("r3", "r1", "clips/A001.mov") +
        asset("r4", "r1", "file:///Day%201/100%.mov") + asset("r5", "r1", "http://host/B.mov") +
        asset("r6", "r1", "smb://server/share/C.braw") + asset("r7", "r1", "clips/My%20D.MOV"));
    std::string output;
    const RelinkResult result = relinkText(text, &output);
    expectChanges(result, {{"A001", "clips/A001.mov", "clips/A001.braw", "r3", "r8"},
                           {"100%", "/Day%201/100%.mov", "/Day%201/100%.braw", "r4", "r9"},
                           {"My D", "clips/My D.MOV", "clips/My D.braw", "r7", "r10"}});
    for (const char *src :
         {"\"clips/A001.braw\"", "\"file:///Day%201/100%.braw\"", "\"clips/My%20D.braw\"",
          "\"http://host/B.mov\"", "\"smb://server/share/C.braw\""})
        EXPECT_NE(output.find(src), std::string::npos) << src;

    // Sources of other schemes are neither proxies nor originals.
    EXPECT_EQ(errorOf(documentWith(asset("r2", "r1", "file:///m/Z.braw") +
                                   asset("r3", "r1", "https://host/A.mov"))),
              RelinkError::Case::noMovFound);
    EXPECT_EQ(errorOf(documentWith(asset("r2", "r1", "smb://server/Z.braw") +
                                   asset("r3", "r1", "file:///m/A.mov"))),
              RelinkError::Case::noBrawFound);
}

// A text longer than any identifier or path names nothing: it is passed by, not copied into
// keys and records, so a run's memory stays bounded by its document.
TEST(FCPXMLRelinker, TextsTooLongToBeKeysNameNothing) {
    const std::string huge(70 * 1024, 'L');
    const std::string hugeAccented = [] {
        std::string text;
        for (int i = 0; i < 40 * 1024; ++i)
            text += "\xC3\xA9";
        return text;
    }();
    struct Case {
        const char *name;
        std::string resources, spine;
        std::vector<ChangeRow> changes;
        std::vector<std::string> kept; ///< texts the output still holds
    };
    const std::string braw =
        "<format id=\"r1\"/><format id=\"r2\"/>" + asset("r3", "r2", "file:///m/Z.braw");
    const std::string proxy = asset("r4", "r1", "file:///m/A.mov");
    const std::vector<Case> cases = {
        {"a proxy's src",
         braw + asset("r5", "r1", "file:///m/" + huge + ".mov") + proxy,
         {},
         {{"A", "/m/A.mov", "/m/A.braw", "r4", "r6"}},
         {"<asset id=\"r5\" format=\"r1\"><media-rep src=\"file:///m/" + huge + ".mov\"/>"}},
        {"a proxy's id",
         braw + asset("r" + huge, "r1", "file:///m/B.mov") + proxy,
         "<clip ref=\"r" + huge + "\"/>",
         {{"A", "/m/A.mov", "/m/A.braw", "r4", "r5"}},
         {"<clip ref=\"r" + huge + "\"/>", "<asset id=\"r" + huge + "\""}},
        {"a .braw asset's format",
         "<format id=\"r1\"/>" + asset("r3", huge, "file:///m/Y.braw") +
             asset("r2", "r9", "file:///m/Z.braw") + proxy,
         {},
         {{"A", "/m/A.mov", "/m/A.braw", "r4", "r5"}},
         {"<asset id=\"r5\" format=\"r9\">"}},
        {"a proxy's uid",
         braw + "<asset id=\"r4\" uid=\"" + huge +
             "\"><media-rep sig=\"S\" src=\"file:///m/A.mov\"/></asset>",
         {},
         {{"A", "/m/A.mov", "/m/A.braw", "r4", "r5"}},
         {"<media-rep sig=\"r5\" src=\"file:///m/A.braw\"/>"}},
        {"references in the timeline and ids elsewhere",
         braw + proxy,
         "<title ref=\"" + hugeAccented + "\" format=\"" + hugeAccented + "\"/><event id=\"r" +
             hugeAccented + "\"/>",
         {{"A", "/m/A.mov", "/m/A.braw", "r4", "r5"}},
         {"<title ref=\"" + hugeAccented + "\" format=\"" + hugeAccented + "\"/>"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string output;
        const RelinkResult result = relinkText(documentWith(c.resources, c.spine), &output);
        expectChanges(result, c.changes);
        for (const auto &text : c.kept)
            EXPECT_NE(output.find(text), std::string::npos) << text.substr(0, 80);
    }
}

// The new assets take the format of the first .braw asset that names one; with none, every
// format stays where it is.
TEST(FCPXMLRelinker, TheReferenceFormatIsTheFirstOneNamed) {
    struct Case {
        const char *name;
        std::string resources;
        std::string brawFormatID;
        std::vector<std::string> removed;
    };
    const std::string formats = "<format id=\"r1\" name=\"proxy\"/><format id=\"r2\" "
                                "name=\"braw\"/><format id=\"\" name=\"no id\"/>\n";
    const std::string proxy = asset("r5", "r1", "file:///m/A.mov");
    const std::vector<Case> cases = {
        {"first without format",
         formats + "<asset id=\"r3\"><media-rep src=\"file:///m/Y.braw\"/></asset>" +
             asset("r4", "r2", "file:///m/Z.braw") + proxy,
         "r2",
         {"r1"}},
        {"first with an empty format",
         formats + asset("r3", "", "file:///m/Y.braw") + asset("r4", "r2", "file:///m/Z.braw") +
             proxy,
         "r2",
         {"r1"}},
        {"none names a format",
         formats + asset("r3", "", "file:///m/Y.braw") +
             "<asset id=\"r4\"><media-rep src=\"file:///m/Z.braw\"/></asset>" + proxy,
         "",
         {}},
        {"a proxy without format orphans no format of empty id",
         formats + asset("r4", "r2", "file:///m/Z.braw") +
             "<asset id=\"r5\"><media-rep src=\"file:///m/A.mov\"/></asset>",
         "r2",
         {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string output;
        const RelinkResult result = relinkText(
            documentWith(c.resources, "<asset-clip ref=\"r5\" format=\"r1\"/>\n"), &output);
        ASSERT_EQ(result.changes.size(), 1u);
        EXPECT_EQ(result.brawFormatID, c.brawFormatID);
        EXPECT_EQ(result.orphanFormatsRemoved, c.removed);
        EXPECT_NE(output.find("<format id=\"\" name=\"no id\"/>"), std::string::npos);
        if (c.brawFormatID.empty()) {
            EXPECT_TRUE(result.brawFormat.empty());
            EXPECT_NE(output.find("<format id=\"r1\" name=\"proxy\"/>"), std::string::npos);
            EXPECT_NE(output.find("<asset id=\"r6\" format=\"r1\">"), std::string::npos);
            EXPECT_NE(output.find("<asset-clip ref=\"r6\" format=\"r1\"/>"), std::string::npos);
        } else {
            EXPECT_EQ(result.brawFormat.at("name"), "braw");
        }
    }
}
