#include "engine/relink/fcpxml_relinker.h"
#include "engine/xml/document.h"

#include <gtest/gtest.h>

using namespace tessaly;
using R = FCPXMLRelinker;

namespace {

/// A text in, the text a function of the source paths gives out.
struct Spelling {
    std::string in, out;
};

} // namespace

TEST(SourcePaths, DecodeRemovesPrefixAndEscapes) {
    for (const Spelling &c : std::vector<Spelling>{
             {"file:///Volumes/A/My%20Clip.mov", "/Volumes/A/My Clip.mov"},
             {"file:///Volumes/Caf%C3%A9/C0001.mov", "/Volumes/Café/C0001.mov"},
             // The prefix goes wherever it stands, and is case-sensitive.
             {"/a/file://b.mov", "/a/b.mov"},
             {"FILE:///a.mov", "FILE:///a.mov"},
             {"file://localhost/a/b.mov", "localhost/a/b.mov"},
             // Broken escapes, and escapes of bytes that are not UTF-8, are kept as written.
             {"file:///a/100%.mov", "/a/100%.mov"},
             {"file:///a/%zz.mov", "/a/%zz.mov"},
             {"file:///a/%4", "/a/%4"},
             {"file:///a/%FF%20b.mov", "/a/%FF%20b.mov"},
             {"file:///a/%C3.mov", "/a/%C3.mov"},
         })
        EXPECT_EQ(R::decodeSrc(c.in), c.out) << c.in;
}

TEST(SourcePaths, EncodeKeepsThePathCharacterSet) {
    for (const Spelling &c : std::vector<Spelling>{
             {"/Volumes/A/My Clip.mov", "file:///Volumes/A/My%20Clip.mov"},
             {"/a/b&c'd.braw", "file:///a/b&c'd.braw"},
             {"/a/x;y?z#w%.braw", "file:///a/x%3By%3Fz%23w%25.braw"},
             {"/Café/!$()*+,-.:=@_~", "file:///Caf%C3%A9/!$()*+,-.:=@_~"},
             {"localhost/a/b.braw", "file://localhost/a/b.braw"},
         })
        EXPECT_EQ(R::encodeSrc(c.in), c.out) << c.in;
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
    for (const Spelling &c : std::vector<Spelling>{
             {"/Media/A003.MOV", "/Media/A003.braw"},
             {"/Media/A.proxy.mov", "/Media/A.proxy.braw"},
             {"localhost/a/b.mov", "localhost/a/b.braw"},
         })
        EXPECT_EQ(R::brawPath(c.in), c.out) << c.in;
}

TEST(SourcePaths, BrawSrcReencodesOnlyAbsoluteFileURLs) {
    for (const Spelling &c : std::vector<Spelling>{
             {"file:///Volumes/A/My%20Clip.MOV", "file:///Volumes/A/My%20Clip.braw"},
             // Decoded and encoded again: escapes come out in their one spelling.
             {"file:///a/Caf%c3%a9.mov", "file:///a/Caf%C3%A9.braw"},
             {"file:///a/b%7e.mov", "file:///a/b~.braw"},
             // Relative, broken or host-named sources keep their text.
             {"clips/A001.mov", "clips/A001.braw"},
             {"clips/My%20Clip.mov", "clips/My%20Clip.braw"},
             {"../A001.MOV", "../A001.braw"},
             {"file:///Day%201/100%.mov", "file:///Day%201/100%.braw"},
             {"file:///a/%FF.mov", "file:///a/%FF.braw"},
             {"file://localhost/a/b%20c.mov", "file://localhost/a/b%20c.braw"},
             {"/Volumes/A/B c.mov", "/Volumes/A/B c.braw"},
         })
        EXPECT_EQ(R::brawSrc(c.in), c.out) << c.in;
}

TEST(SourcePaths, OnlyFileURLsAndPlainReferencesNameLocalFiles) {
    for (const char *local : {"file:///a/A.mov", "FILE:///a/A.mov", "clips/A.mov", "/a/A.mov",
                              "A001.mov", "./a:b.mov", "Take 1: A.mov", ""})
        EXPECT_TRUE(R::namesLocalFile(local)) << local;
    for (const char *remote : {"http://host/A.mov", "SMB://server/A.mov", "x-y+1.2:A.mov",
                               "z39.50s://host/A.mov", "Z39.50R://host/A.mov"})
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
        {{"r007"}, {"r8"}},
        {{"r007", "r7"}, {"r8"}},
        {{"r-5"}, {"r-4"}},
        {{"r+41"}, {"r42"}},
        {{"r-9223372036854775808"}, {"r-9223372036854775807"}},
        {{"r-9223372036854775809", "r5"}, {"r6"}},
        {{"r9223372036854775808", "r5"}, {"r6"}},
        {{"r9223372036854775807", "r9223372036854775808"},
         {"r9223372036854775809", "r9223372036854775810"}},
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.next.front());
        const std::size_t before = c.used.size();
        for (const std::string &expected : c.next) {
            EXPECT_EQ(R::nextID(c.used), expected);
            EXPECT_TRUE(c.used.contains(expected));
        }
        EXPECT_EQ(c.used.size(), before + c.next.size());
    }
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
