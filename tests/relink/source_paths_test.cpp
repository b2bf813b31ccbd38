#include "engine/relink/fcpxml_relinker.h"
#include "engine/xml/document.h"

#include <gtest/gtest.h>

using namespace tessaly;
using R = FCPXMLRelinker;

// Each function of the source paths, a text given to it and the text it gives.
TEST(SourcePaths, Spellings) {
    // The stem and the extension of a path's last component, as "stem | extension".
    const auto stemAndExtension = [](std::string_view path) {
        const auto [stem, extension] = R::stemAndExtension(path);
        return stem + " | " + extension;
    };
    struct Case {
        std::string (*function)(std::string_view);
        const char *in, *out;
    };
    const Case cases[] = {
        // The prefix goes wherever it stands, and is case-sensitive.
        {R::decodeSrc, "/a/file://b.mov", "/a/b.mov"},
        {R::decodeSrc, "FILE:///a.mov", "FILE:///a.mov"},
        // Broken escapes, and escapes of bytes that are not UTF-8, are kept as written.
        {R::decodeSrc, "file:///a/100%.mov", "/a/100%.mov"},
        {R::decodeSrc, "file:///a/%4", "/a/%4"},
        {R::decodeSrc, "file:///a/%FF%20b.mov", "/a/%FF%20b.mov"},
        {R::encodeSrc, "/a/x;y?z#w%.braw", "file:///a/x%3By%3Fz%23w%25.braw"},
        {R::encodeSrc, "/Café/!$&'()*+,-.:=@_~", "file:///Caf%C3%A9/!$&'()*+,-.:=@_~"},
        {stemAndExtension, "/a/C0001.proxy.MOV", "C0001.proxy | mov"},
        {stemAndExtension, "/a.b/C0001", "C0001 | "},
        {stemAndExtension, "/a/.mov", ".mov | "},
        {stemAndExtension, "/a/b.mov/", "b | mov"},
        {R::brawSrc, "file:///Volumes/A/My%20Clip.MOV", "file:///Volumes/A/My%20Clip.braw"},
        // Decoded and encoded again: escapes come out in their one spelling.
        {R::brawSrc, "file:///a/Caf%c3%a9.mov", "file:///a/Caf%C3%A9.braw"},
        {R::brawSrc, "file:///a/b%7e.mov", "file:///a/b~.braw"},
        // Relative, broken or host-named sources keep their text.
        {R::brawSrc, "clips/My%20Clip.mov", "clips/My%20Clip.braw"},
        {R::brawSrc, "file:///Day%201/100%.mov", "file:///Day%201/100%.braw"},
        {R::brawSrc, "file://localhost/a/b%20c.mov", "file://localhost/a/b%20c.braw"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.function(c.in), c.out) << c.in;
}

TEST(SourcePaths, OnlyFileURLsAndPlainReferencesNameLocalFiles) {
    for (const char *local : {"file:///a/A.mov", "FILE:///a/A.mov", "clips/A.mov", "/a/A.mov",
                              "A001.mov", "./a:b.mov", "2:A.mov", "Take 1: A.mov", ""})
        EXPECT_TRUE(R::namesLocalFile(local)) << local;
    for (const char *remote : {"http://host/A.mov", "AFP://server/A.mov", "afp://server/A.mov",
                               "x-y+1.2:A.mov", "z39.50s://host/A.mov", "Z39.50R://host/A.mov"})
        EXPECT_FALSE(R::namesLocalFile(remote)) << remote;
}

// A new identifier is one more than the largest number in use, r100 when there is none; signs
// and leading zeros count, numbers out of the 64-bit range do not, and none is given twice.
TEST(Identifiers, NextIsOneMoreThanTheLargestNumber) {
    struct Case {
        UsedIdentifiers used;
        std::vector<std::string> next;
    };
    const std::vector<Case> cases = {
        {{"r1", "r12", "r3", "ts9"}, {"r13", "r14", "r15"}},
        {{}, {"r100"}},
        {{"R9", "ref3", "r", "r1x", "r+", "r 5"}, {"r100", "r101"}},
        {{"r007", "r7"}, {"r8"}},
        {{"r-5"}, {"r-4"}},
        {{"r+41"}, {"r42"}},
        {{"r-9223372036854775808"}, {"r-9223372036854775807"}},
        {{"r-9223372036854775809", "r5"}, {"r6"}},
        {{"r9223372036854775808", "r5"}, {"r6"}},
        {{"r99999999999999999999"}, {"r100"}},
        {{"r9223372036854775807", "r9223372036854775808"},
         {"r9223372036854775809", "r9223372036854775810"}},
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.next.front());
        for (const std::string &expected : c.next)
            EXPECT_EQ(R::nextID(c.used), expected);
    }
}

// Identifiers are texts: "r7" and "r007" are two of them, and each is in use only once added,
// however many there are.
TEST(Identifiers, AreKeptAsTheTextsTheyAre) {
    UsedIdentifiers used{"r007", "r0", "r+4", "asset"};
    for (int n = 1; n <= 5000; n += 2)
        EXPECT_TRUE(used.insert("r" + std::to_string(n)));
    EXPECT_EQ(used.size(), 4u + 2500u);
    EXPECT_FALSE(used.insert("r4999"));
    EXPECT_FALSE(used.insert("r007"));
    EXPECT_FALSE(used.insert("r0"));
    for (int n = 1; n <= 5000; ++n)
        ASSERT_EQ(used.contains("r" + std::to_string(n)), n % 2 == 1) << n;
    EXPECT_FALSE(used.contains("r7x"));
    EXPECT_FALSE(used.contains("r00"));
    EXPECT_FALSE(used.contains("r4"));
    EXPECT_TRUE(used.contains("r+4"));
    EXPECT_TRUE(used.contains("asset"));
    EXPECT_TRUE(used.insert("r9999999999999999999"));
    EXPECT_TRUE(used.contains("r9999999999999999999"));
    EXPECT_FALSE(used.contains("r999999999999999999"));
    EXPECT_EQ(used.largestNumber(), 4999);
}

// A value longer than any format carries is left out, not copied into every result.
TEST(DictFrom, MapsEveryAttributeToItsDecodedValue) {
    const std::string huge(70 * 1024, 'n');
    auto doc = xml::Document::parse("<format id='r1' name='A &amp; B' long='" + huge + "'/>");
    EXPECT_EQ(R::dictFrom(doc.rootElement()),
              (std::map<std::string, std::string>{{"id", "r1"}, {"name", "A & B"}}));
}
