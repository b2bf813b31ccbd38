#include "engine/relink/relink_error.h"
#include "engine/relink/relink_records.h"

#include <gtest/gtest.h>

using namespace tessaly;

TEST(RelinkError, TextsAreTheUsersSentences) {
    struct Case {
        RelinkError error;
        const char *text;
    };
    const Case cases[] = {
        {RelinkError::noRoot(), "Invalid FCPXML - no root element found."},
        {RelinkError::noResources(), "Invalid FCPXML - no <resources> section found."},
        {RelinkError::noMovFound(), "No .mov proxy assets found. Nothing to relink."},
        {RelinkError::noBrawFound(),
         "No .braw asset found in this FCPXML.\n\nPlease relink one proxy clip manually in FCP "
         "first:\n1. Right-click a proxy .mov clip in the browser\n2. Choose \"Relink Files\" and "
         "point it to its .braw file\n3. Re-export the FCPXML (File > Export XML)\n4. Run this "
         "script again on the new FCPXML"},
        {RelinkError::duplicateStem("Kid's cut", "mov"),
         "Duplicate .mov filename found: 'Kid's cut'. All proxy filenames must be unique."},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.error.errorDescription(), c.text);
        EXPECT_STREQ(c.error.what(), c.text);
    }
}

// A fault in the version or variant bits shows in only some random ids: look at many.
TEST(RelinkChange, EveryRecordHasItsOwnRandomIdentity) {
    EXPECT_NE(RelinkChange("A", "/a.mov", "/a.braw", "r1", "r2"),
              RelinkChange("A", "/a.mov", "/a.braw", "r1", "r2"));
    for (int i = 0; i < 64; ++i) {
        const std::string text = RecordID::random().toString();
        ASSERT_EQ(text.size(), 36u);
        EXPECT_EQ(text[14], '4') << text;                                         // version 4
        EXPECT_NE(std::string("89ab").find(text[19]), std::string::npos) << text; // RFC 4122
    }
}
