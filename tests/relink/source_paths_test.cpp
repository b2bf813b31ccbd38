#include "engine/relink/fcpxml_relinker.h"
#include "engine/xml/document.h"

#include <gtest/gtest.h>

using namespace tessaly;
using R = FCPXMLRelinker;

TEST(SourcePaths, DecodeRemovesPrefixAndEscapes) {
    EXPECT_EQ(R::decodeSrc("file:///Volumes/A/My%20Clip.mov"), "/Volumes/A/My Clip.mov");
    EXPECT_EQ(R::decodeSrc("file:///Volumes/Caf%C3%A9/C0001.mov"), "/Volumes/Café/C0001.mov");
    // The prefix goes wherever it stands, and is case-sensitive.
    EXPECT_EQ(R::decodeSrc("/a/file://b.mov"), "/a/b.mov");
    EXPECT_EQ(R::decodeSrc("FILE:///a.mov"), "FILE:///a.mov");
    EXPECT_EQ(R::decodeSrc("file://localhost/a/b.mov"), "localhost/a/b.mov");
}

TEST(SourcePaths, DecodeFallsBackWhenEscapesAreBroken) {
    EXPECT_EQ(R::decodeSrc("file:///a/100%.mov"), "/a/100%.mov");
    EXPECT_EQ(R::decodeSrc("file:///a/%zz.mov"), "/a/%zz.mov");
    EXPECT_EQ(R::decodeSrc("file:///a/%4"), "/a/%4");
    // Escapes that decode to bytes that are not UTF-8.
    EXPECT_EQ(R::decodeSrc("file:///a/%FF%20b.mov"), "/a/%FF%20b.mov");
    EXPECT_EQ(R::decodeSrc("file:///a/%C3.mov"), "/a/%C3.mov");
}

TEST(SourcePaths, EncodeKeepsThePathCharacterSet) {
    EXPECT_EQ(R::encodeSrc("/Volumes/A/My Clip.mov"), "file:///Volumes/A/My%20Clip.mov");
    EXPECT_EQ(R::encodeSrc("/a/b&c'd.braw"), "file:///a/b&c'd.braw");
    EXPECT_EQ(R::encodeSrc("/a/x;y?z#w%.braw"), "file:///a/x%3By%3Fz%23w%25.braw");
    EXPECT_EQ(R::encodeSrc("/Café/!$()*+,-.:=@_~"), "file:///Caf%C3%A9/!$()*+,-.:=@_~");
    EXPECT_EQ(R::encodeSrc("localhost/a/b.braw"), "file://localhost/a/b.braw");
}

TEST(SourcePaths, EncodeUndoesDecode) {
    for (const char *src : {"file:///Volumes/Media/Day%201/C0001.mov",
                            "file:///a/%E6%97%A5%E6%9C%AC.mov", "file:///a/b%23c.mov"}) {
        EXPECT_EQ(R::encodeSrc(R::decodeSrc(src)), src);
    }
}

TEST(SourcePaths, StemAndExtensionOfTheLastComponent) {
    struct Case {
        const char *path, *stem, *extension;
    };
    for (const Case &c :
         {Case{"/Volumes/A/C0001.mov", "C0001", "mov"},
          Case{"/a/C0001.proxy.MOV", "C0001.proxy", "mov"}, Case{"/a.b/C0001", "C0001", ""},
          Case{"C0001.Braw", "C0001", "braw"}, Case{"/a/.mov", ".mov", ""},
          Case{"/a/clip.", "clip", ""}, Case{"/a/b.mov/", "b", "mov"}}) {
        const auto [stem, extension] = R::stemAndExtension(c.path);
        EXPECT_EQ(stem, c.stem) << c.path;
        EXPECT_EQ(extension, c.extension) << c.path;
    }
}

TEST(SourcePaths, BrawPathReplacesOnlyTheLastExtension) {
    EXPECT_EQ(R::brawPath("/Media/A003.MOV"), "/Media/A003.braw");
    EXPECT_EQ(R::brawPath("/Media/A.proxy.mov"), "/Media/A.proxy.braw");
    EXPECT_EQ(R::brawPath("localhost/a/b.mov"), "localhost/a/b.braw");
}

TEST(Identifiers, NextIsOneMoreThanTheLargestNumber) {
    UsedIdentifiers used{"r1", "r12", "r3", "ts9"};
    EXPECT_EQ(R::nextID(used), "r13");
    EXPECT_EQ(R::nextID(used), "r14");
    EXPECT_EQ(R::nextID(used), "r15");
    EXPECT_TRUE(used.contains("r15"));
}

TEST(Identifiers, WithoutNumbersStartAtHundred) {
    UsedIdentifiers empty;
    EXPECT_EQ(R::nextID(empty), "r100");
    EXPECT_EQ(empty.size(), 1u);
    EXPECT_TRUE(empty.contains("r100"));

    UsedIdentifiers others{"R9", "ref3", "r", "r1x", "r+", "r 5"};
    EXPECT_EQ(R::nextID(others), "r100");
    EXPECT_EQ(R::nextID(others), "r101");
}

TEST(Identifiers, SignsAndLeadingZerosCount) {
    UsedIdentifiers padded{"r007"};
    EXPECT_EQ(R::nextID(padded), "r8");
    UsedIdentifiers same{"r007", "r7"};
    EXPECT_EQ(R::nextID(same), "r8");
    UsedIdentifiers negative{"r-5"};
    EXPECT_EQ(R::nextID(negative), "r-4");
    UsedIdentifiers plus{"r+41"};
    EXPECT_EQ(R::nextID(plus), "r42");
    UsedIdentifiers minimum{"r-9223372036854775808"};
    EXPECT_EQ(R::nextID(minimum), "r-9223372036854775807");
}

TEST(Identifiers, OutOfRangeNumbersAreIgnored) {
    UsedIdentifiers huge{"r9223372036854775808", "r5"};
    EXPECT_EQ(R::nextID(huge), "r6");
}

TEST(Identifiers, TheLargest64BitNumberNeverRepeatsAnIdentifier) {
    UsedIdentifiers used{"r9223372036854775807", "r9223372036854775808"};
    const std::string first = R::nextID(used);
    const std::string second = R::nextID(used);
    EXPECT_EQ(first, "r9223372036854775809");
    EXPECT_EQ(second, "r9223372036854775810");
    EXPECT_EQ(used.size(), 4u);
}

TEST(DictFrom, MapsEveryAttributeToItsDecodedValue) {
    auto doc = xml::Document::parse(R"(<format id="r1" name='A &amp; B' width="1920"/>)");
    const auto map = R::dictFrom(doc.rootElement());
    EXPECT_EQ(map, (std::map<std::string, std::string>{
                       {"id", "r1"}, {"name", "A & B"}, {"width", "1920"}}));

    // A value longer than any format carries is left out, not copied into every result.
    auto huge =
        xml::Document::parse("<format id=\"r1\" name=\"" + std::string(70 * 1024, 'n') + "\"/>");
    EXPECT_EQ(R::dictFrom(huge.rootElement()), (std::map<std::string, std::string>{{"id", "r1"}}));

    auto bare = xml::Document::parse("<format/>");
    EXPECT_TRUE(R::dictFrom(bare.rootElement()).empty());
}

TEST(SourcePaths, BrawSrcReencodesOnlyAbsoluteFileURLs) {
    struct Case {
        const char *src, *braw;
    };
    for (const Case &c : {
             Case{"file:///Volumes/A/My%20Clip.MOV", "file:///Volumes/A/My%20Clip.braw"},
             // Decoded and encoded again: escapes come out in their one spelling.
             Case{"file:///a/Caf%c3%a9.mov", "file:///a/Caf%C3%A9.braw"},
             Case{"file:///a/b%7e.mov", "file:///a/b~.braw"},
             // Relative, broken or host-named sources keep their text.
             Case{"clips/A001.mov", "clips/A001.braw"},
             Case{"clips/My%20Clip.mov", "clips/My%20Clip.braw"},
             Case{"../A001.MOV", "../A001.braw"},
             Case{"file:///Day%201/100%.mov", "file:///Day%201/100%.braw"},
             Case{"file:///a/%FF.mov", "file:///a/%FF.braw"},
             Case{"file://localhost/a/b%20c.mov", "file://localhost/a/b%20c.braw"},
             Case{"/Volumes/A/B c.mov", "/Volumes/A/B c.braw"},
         }) {
        EXPECT_EQ(R::brawSrc(c.src), c.braw) << c.src;
    }
}

TEST(SourcePaths, OnlyFileURLsAndPlainReferencesNameLocalFiles) {
    for (const char *local : {"file:///a/A.mov", "FILE:///a/A.mov", "clips/A.mov", "/a/A.mov",
                              "./a:b.mov", "Take 1: A.mov", ""})
        EXPECT_TRUE(R::namesLocalFile(local)) << local;
    for (const char *remote : {"http://host/A.mov", "SMB://server/A.mov", "x-y+1.2:A.mov"})
        EXPECT_FALSE(R::namesLocalFile(remote)) << remote;
}
