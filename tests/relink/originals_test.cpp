// The originals check reads the real disk: files, links, pipes and names in both Unicode
// normalisations, made in a temporary folder.
#include "engine/relink/originals.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace tessaly;
using tessaly::testing::TempDir;
using tessaly::testing::writeFile;
namespace fs = std::filesystem;

TEST(Originals, FoundOnlyForReadableRegularFiles) {
    // "é" composed (NFC) and decomposed (NFD).
    const std::string composed = "Caf\xC3\xA9", decomposed = "Cafe\xCC\x81";
    TempDir dir;
    const std::string root = dir.path().string();
    writeFile(dir / "file.braw", "raw");
    fs::create_symlink(dir / "file.braw", dir / "link.braw");
    fs::create_symlink(dir / "gone.braw", dir / "dangling.braw");
    fs::create_directories(dir / "folder.braw");
    ASSERT_EQ(::mkfifo((dir / "pipe.braw").c_str(), 0600), 0);
    writeFile(dir / "locked.braw", "raw");
    fs::permissions(dir / "locked.braw", fs::perms::none);
    writeFile(dir / decomposed / (decomposed + ".braw"), "raw");
    writeFile(dir / decomposed / "sub" / (composed + "3.braw"), "raw");
    writeFile(dir / "clips" / "rel.braw", "raw");

    // Where the record says the original is, and whether it is found there.
    const std::vector<std::pair<std::string, bool>> cases = {
        {root + "/file.braw", true},
        {root + "/link.braw", true},
        {root + "//file.braw", true},
        {root + "/dangling.braw", false},
        {root + "/folder.braw", false},
        {root + "/pipe.braw", false},
        {root + "/locked.braw", ::geteuid() == 0}, // root reads every file
        {"", false},
        // Decomposed on disk, composed in the document, and the other way round.
        {root + "/" + composed + "/" + composed + ".braw", true},
        {root + "/" + composed + "/sub/" + decomposed + "3.braw", true},
        {root + "/" + composed + "/" + composed + "4.braw", false},
        {root + "/" + composed + "/x/" + composed + ".braw", false},
        // Relative paths are read inside the document's folder.
        {"clips/rel.braw", true},
        {"clips/none.braw", false},
    };
    OriginalsFinder finder(dir.path());
    for (const auto &[newSrc, found] : cases)
        EXPECT_EQ(finder.found(newSrc), found) << newSrc;
}
