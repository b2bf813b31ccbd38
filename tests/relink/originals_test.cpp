// The originals check reads the real disk: files, links, pipes and names in both Unicode
// normalisations, made in a temporary folder.
#include "engine/relink/fcpxml_relinker.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace tessaly;
using tessaly::testing::TempDir;
using tessaly::testing::writeFile;
namespace fs = std::filesystem;

namespace {

// "é" composed (NFC) and decomposed (NFD).
const std::string kComposed = "Caf\xC3\xA9";
const std::string kDecomposed = "Cafe\xCC\x81";
const std::string kOtherComposed = "Ren\xC3\xA9";
const std::string kOtherDecomposed = "Rene\xCC\x81";

RelinkChange changeTo(const std::string &newSrc) {
    return RelinkChange("A", "/m/A.mov", newSrc, "r1", "r2");
}

} // namespace

TEST(Originals, FoundOnlyForReadableRegularFiles) {
    TempDir dir;
    const std::string root = dir.path().string();
    writeFile(dir / "file.braw", "raw");
    fs::create_symlink(dir / "file.braw", dir / "link.braw");
    fs::create_symlink(dir / "gone.braw", dir / "dangling.braw");
    fs::create_directories(dir / "folder.braw");
    ASSERT_EQ(::mkfifo((dir / "pipe.braw").c_str(), 0600), 0);
    writeFile(dir / kDecomposed / (kDecomposed + ".braw"), "raw");
    writeFile(dir / kOtherComposed / (kOtherComposed + ".braw"), "raw");
    writeFile(dir / kDecomposed / "sub" / (kComposed + "3.braw"), "raw");
    writeFile(dir / "clips" / "rel.braw", "raw");

    struct Case {
        std::string newSrc;
        bool found;
    };
    const std::vector<Case> cases = {
        {root + "/file.braw", true},
        {root + "/link.braw", true},
        {root + "//file.braw", true},
        {root + "/missing.braw", false},
        {root + "/dangling.braw", false},
        {root + "/folder.braw", false},
        {root + "/pipe.braw", false},
        {"", false},
        // Decomposed on disk, composed in the document, and the other way round.
        {root + "/" + kComposed + "/" + kComposed + ".braw", true},
        {root + "/" + kOtherDecomposed + "/" + kOtherDecomposed + ".braw", true},
        {root + "/" + kComposed + "/sub/" + kDecomposed + "3.braw", true},
        {root + "/" + kComposed + "/" + kComposed + "4.braw", false},
        {root + "/" + kComposed + "/x/" + kComposed + ".braw", false},
        // Relative paths are read inside the document's folder.
        {"clips/rel.braw", true},
        {"clips/none.braw", false},
    };
    std::vector<RelinkChange> changes;
    std::size_t expectedMissing = 0;
    for (const Case &c : cases) {
        changes.push_back(changeTo(c.newSrc));
        expectedMissing += c.found ? 0 : 1;
    }
    EXPECT_EQ(FCPXMLRelinker::checkOriginals(changes, dir.path()), expectedMissing);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(changes[i].brawFound, cases[i].found) << cases[i].newSrc;
        // The record keeps the spelling derived from the proxy.
        EXPECT_EQ(changes[i].newSrc, cases[i].newSrc);
    }

    // Without a document folder a relative path names nothing.
    std::vector<RelinkChange> relative{changeTo("clips/rel.braw")};
    EXPECT_EQ(FCPXMLRelinker::checkOriginals(relative), 1u);
    EXPECT_FALSE(relative[0].brawFound);
}

TEST(Originals, AnUnreadableFileIsMissing) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    TempDir dir;
    writeFile(dir / "locked.braw", "raw");
    fs::permissions(dir / "locked.braw", fs::perms::none);
    std::vector<RelinkChange> changes{changeTo((dir / "locked.braw").string())};
    EXPECT_EQ(FCPXMLRelinker::checkOriginals(changes), 1u);
    EXPECT_FALSE(changes[0].brawFound);
}
