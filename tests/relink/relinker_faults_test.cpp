// The relink must leave a document that Final Cut Pro can import: no reference to a removed
// resource and no identifier given twice.
#include "engine/relink/fcpxml_relinker.h"

#include <gtest/gtest.h>

using namespace tessaly;

namespace {

std::string relinked(const std::string &text, RelinkResult *result = nullptr) {
    auto doc = xml::Document::parse(text);
    auto r = FCPXMLRelinker::relink(doc);
    if (result)
        *result = r;
    return doc.xmlData();
}

const std::string kResources = R"(<format id="r1" name="proxy"/>
<format id="r2" name="braw"/>
<asset id="r3" format="r2"><media-rep src="file:///m/A.braw"/></asset>
<asset id="r4" format="r1"><media-rep src="file:///m/B.mov"/></asset>
)";

} // namespace

TEST(RelinkerFaults, CompoundAndMulticamClipsFollowTheNewAssets) {
    const std::string text =
        "<fcpxml><resources>\n" + kResources +
        R"(<media id="r5" name="Compound"><sequence format="r1"><spine><asset-clip ref="r4" format="r1"/></spine></sequence></media>
<media id="r6" name="Multicam"><multicam format="r1"><mc-angle><asset-clip ref="r4"/></mc-angle></multicam></media>
<effect id="r7" name="Keep" ref="r4"/>
</resources><library><event><project><sequence format="r1"><spine><ref-clip ref="r5"/><mc-clip ref="r6"/></spine></sequence></project></event></library></fcpxml>)";
    RelinkResult result;
    const std::string output = relinked(text, &result);
    ASSERT_EQ(result.changes.size(), 1u);
    EXPECT_EQ(result.changes[0].newAssetID, "r8");
    EXPECT_NE(output.find(R"(<sequence format="r2"><spine><asset-clip ref="r8" format="r2"/>)"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find(R"(<multicam format="r2"><mc-angle><asset-clip ref="r8"/>)"),
              std::string::npos);
    // Other kinds of resources are left as they are.
    EXPECT_NE(output.find(R"(<effect id="r7" name="Keep" ref="r4"/>)"), std::string::npos);
    EXPECT_NE(output.find(R"(<ref-clip ref="r5"/><mc-clip ref="r6"/>)"), std::string::npos);
    EXPECT_EQ(result.orphanFormatsRemoved, std::vector<std::string>{"r1"});
}

TEST(RelinkerFaults, AFormatStillNamedElsewhereIsKept) {
    const std::string text =
        "<fcpxml><resources>\n" + kResources +
        R"(<asset id="r5" format="r1"><media-rep src="file:///m/C.mp4"/></asset>
</resources><library/></fcpxml>)";
    RelinkResult result;
    const std::string output = relinked(text, &result);
    EXPECT_TRUE(result.orphanFormatsRemoved.empty());
    EXPECT_NE(output.find(R"(<format id="r1" name="proxy"/>)"), std::string::npos);
    EXPECT_NE(output.find(R"(<asset id="r5" format="r1">)"), std::string::npos);
}

TEST(RelinkerFaults, OnlyUnusedOrphansAreRemovedInDocumentOrder) {
    const std::string text = R"(<fcpxml><resources>
<format id="r9" name="second proxy format"/>
<format id="r1" name="proxy"/>
<format id="r2" name="braw"/>
<format id="r8" name="kept"/>
<asset id="r3" format="r2"><media-rep src="file:///m/A.braw"/></asset>
<asset id="r4" format="r1"><media-rep src="file:///m/B.mov"/></asset>
<asset id="r5" format="r9"><media-rep src="file:///m/C.mov"/></asset>
<asset id="r6" format="r8"><media-rep src="file:///m/D.mov"/></asset>
<asset id="r7" format="r8"><media-rep src="file:///m/E.wav"/></asset>
</resources></fcpxml>)";
    RelinkResult result;
    relinked(text, &result);
    EXPECT_EQ(result.orphanFormatsRemoved, (std::vector<std::string>{"r9", "r1"}));
}

TEST(RelinkerFaults, NewIdentifiersAvoidEveryIdInTheDocument) {
    const std::string text = "<fcpxml><resources>\n" + kResources +
                             R"(<effect id="r5" name="Blur"/>
<media id="r6"><sequence><spine/></sequence></media>
</resources><library><event id="r12"/></library></fcpxml>)";
    RelinkResult result;
    const std::string output = relinked(text, &result);
    ASSERT_EQ(result.changes.size(), 1u);
    EXPECT_EQ(result.changes[0].newAssetID, "r13");
    EXPECT_NE(output.find(R"(<asset id="r13" format="r2">)"), std::string::npos);
}
