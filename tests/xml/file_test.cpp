// Loading and saving files, and what the user reads when either fails.
#include "engine/xml/document.h"
#include "engine/xml/mapped_source.h"
#include "support/mapped_resident.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

namespace fs = std::filesystem;
using namespace tessaly::testing;
using namespace tessaly::xml;

namespace {

const fs::path kDay1 = "/Volumes/Media/Day1.fcpxml";

DocumentError errorFrom(const std::function<void()> &action) {
    try {
        action();
    } catch (const DocumentError &error) {
        return error;
    }
    ADD_FAILURE() << "no DocumentError";
    return DocumentError(DocumentError::Kind::Parse, "none", "none");
}

} // namespace

// A large file is held a window at a time: the parse gives back what it has read, the noted
// values are read again without their tags, and the save reads the file, not the mapping. The
// bytes are the same as ever, whichever way each was read: values in either quote, short and
// long, an element copied from far back, a span longer than a read, and a file cut short.
TEST(Load, LargeFileIsHeldAWindowAtATime) {
    // Shaped as a relink finds a project: a few resources to add to, then a long timeline
    // whose values are set.
    std::string source = "<r>\n<resources><first ref='first value, longer than a short one'/>";
    source += "</resources>\n<long>" + std::string(std::size_t(3) << 20, 'x') + "</long>\n<t>";
    for (int i = 0; source.size() < (std::size_t(40) << 20); ++i) {
        const std::string ref = "r" + std::to_string(i % 5000);
        source += i % 7 ? "<c ref=\"" + ref + "\" n='" + std::to_string(i) + "'/>\n"
                        : "<c n='" + std::to_string(i) + "' ref='" + ref + "'>text</c>\n";
    }
    source += "</t>\n</r>";
    TempDir dir;
    const fs::path file = dir / "Big.fcpxml";
    writeFile(file, source);
    Document doc = Document::load(file, LoadOptions{{"ref"}});
    const long afterLoad = residentKiB(file);
    if (afterLoad < 0)
        GTEST_SKIP() << "this system does not tell what of a mapping is in memory";
    EXPECT_LT(afterLoad, 1024);

    std::size_t visited = 0;
    doc.rootElement().forEachAttributeNamed("ref", [&](Element, Attribute ref) {
        const std::string value = ref.stringValue();
        if (visited++ == 0)
            EXPECT_EQ(value, "first value, longer than a short one");
        else if (value.front() != 'r')
            ADD_FAILURE() << value;
        if (visited % 50 == 0)
            ref.setStringValue(value + "'\"" + std::to_string(visited));
    });
    EXPECT_GT(visited, std::size_t(500000));
    EXPECT_LT(residentKiB(file), 1024) << "the pass read the tags again";

    Element resources = doc.rootElement().firstChild().toElement();
    resources.addChild(resources.firstChild().toElement().copy());
    const fs::path out = dir / "Out.fcpxml";
    doc.save(out);
    EXPECT_LT(residentKiB(file), 1024);
    const std::string expected = doc.xmlData();
    EXPECT_EQ(readFile(out), expected);
    EXPECT_EQ(Document::load(out).xmlData(), expected);

    // The reads come short where the file was cut, and the mapping gives zeros there.
    fs::resize_file(file, std::size_t(5) << 20);
    doc.save(out);
    EXPECT_TRUE(doc.sourceCut());
    EXPECT_EQ(readFile(out), doc.xmlData());
}

// Saving gathers many short pieces into few writes, into a file it truncates first. The source
// stays in memory, so saving over the loaded file, or over a longer one, leaves exactly what
// xmlData() gives, across every buffer refill. A moved-from document refuses to save and
// leaves the file alone.
TEST(Save, OverTheLoadedFileAfterManyPatches) {
    // Three stretches: only pieces long enough to be written from where they lie, more of them
    // in a row than one gathered write takes; long and short pieces taking turns; then short
    // ones that fill the copy buffer many times over.
    const std::string longText(4200, 'x');
    std::string source = "<r>";
    for (int i = 0; i < 9000; ++i) {
        const std::size_t length = i < 3000 ? (i % 2 ? 4200 : 10) : std::size_t(i % 3000);
        source += "<c ref='r" + std::to_string(i) + "' n='" +
                  (i < 400 ? longText : std::string(length, 'x')) + "' format='f'" +
                  (i < 400 ? " m='" + longText + "'" : std::string()) + "/>\n";
    }
    source += "</r>";
    TempDir dir;
    const fs::path file = dir / "Day1.fcpxml";
    writeFile(file, source);
    Document doc = Document::load(file);
    int i = 0;
    auto patch = [&](Element, Attribute attribute, std::size_t which) {
        const std::string value = "v" + std::to_string(i);
        if (i < 800)
            attribute.setStringValue(value + longText);
        else if (which == 1 || i % 3 != 0)
            attribute.setStringValue(value);
        ++i;
    };
    doc.rootElement().forEachAttributeNamed({"ref", "format"}, patch);
    const std::string expected = doc.xmlData();
    doc.save(file);
    EXPECT_EQ(readFile(file), expected);
    EXPECT_FALSE(doc.sourceCut());
    writeFile(file, std::string(expected.size() + 10000, 'z'));
    doc.save(file);
    EXPECT_EQ(readFile(file), expected);

    Document kept = std::move(doc);
    EXPECT_EQ(doc.xmlData(), "");
    writeFile(file, "<b/>");
    EXPECT_THROW(doc.save(file), std::logic_error);
    EXPECT_EQ(readFile(file), "<b/>");
}

// Text joined by an edit must not spell "]]>", also when the two runs are handed to the
// writer in different batches: somewhere in this range one batch ends between them.
TEST(Save, JoinedTextAcrossBatches) {
    TempDir dir;
    for (int clips = 300; clips < 700; ++clips) {
        std::string source = "<a>";
        for (int i = 0; i < clips; ++i)
            source += "<b r='1'/>";
        // Without <d/>, "]]" would join the bytes before it in one piece.
        Document doc = Document::parse(source + "<d/>]]<c/>>x</a>");
        Element root = doc.rootElement();
        root.forEachAttributeNamed("r", [](Element, Attribute r) { r.setStringValue("2"); });
        root.removeChild(root.firstElementNamed("d"));
        root.removeChild(root.firstElementNamed("c"));
        doc.save(dir / "out.xml");
        std::string expected = "<a>";
        for (int i = 0; i < clips; ++i)
            expected += "<b r='2'/>";
        ASSERT_TRUE(readFile(dir / "out.xml") == expected + "]]&gt;x</a>") << clips << " clips";
    }
}

// A document maps its file. One cut short meanwhile reads as zeros where its bytes went, and
// says so, instead of ending the process with SIGBUS; a file the kernel will not map is read
// into memory instead, to the same bytes.
TEST(Load, MappedFileCutShortOrNotMappable) {
    std::string source = "<r>";
    while (source.size() < 200000)
        source += "<c ref='r" + std::to_string(source.size()) + "'/>\n";
    source += "</r>";
    TempDir dir;
    const fs::path file = dir / "Day1.fcpxml";
    writeFile(file, source);
    writeFile(dir / "Other.fcpxml", source);
    {
        const Document other = Document::load(dir / "Other.fcpxml");
        Document doc = Document::load(file);
        EXPECT_FALSE(doc.sourceCut());
        fs::resize_file(file, 5000);
        const std::string bytes = doc.xmlData();
        EXPECT_TRUE(doc.sourceCut());
        EXPECT_FALSE(other.sourceCut());
        ASSERT_EQ(bytes.size(), source.size());
        EXPECT_EQ(bytes.substr(0, 4096), source.substr(0, 4096));
        EXPECT_EQ(bytes.substr(8192), std::string(source.size() - 8192, '\0'));
    }
    {
        // Cut to nothing after an edit: the end tags and gaps written from the source are
        // zeros too, and the save still ends.
        writeFile(file, source);
        Document doc = Document::load(file);
        Element root = doc.rootElement();
        root.removeChild(root.firstChild());
        root.addChild(root.firstChild().toElement().copy());
        fs::resize_file(file, 0);
        EXPECT_LT(doc.xmlData().size(), source.size() + 100);
        EXPECT_TRUE(doc.sourceCut());
    }
    writeFile(file, source);
    MappedSource::setMapCall([](void *, std::size_t, int, int, int, off_t) {
        errno = ENODEV;
        return MAP_FAILED;
    });
    Document unmapped = Document::load(file);
    MappedSource::setMapCall(nullptr);
    fs::resize_file(file, 5000);
    EXPECT_EQ(unmapped.xmlData(), source);
    EXPECT_FALSE(unmapped.sourceCut());

    // The guard answers only for documents: a fault elsewhere goes on to the handler that was
    // there before (AddressSanitizer's, which reports it) or ends the process as it would have.
    const auto faultElsewhere = [&] {
        writeFile(file, source);
        const Document doc = Document::load(file);
        const int fd = ::open((dir / "Other.fcpxml").c_str(), O_RDONLY);
        const auto *bytes =
            static_cast<const char *>(::mmap(nullptr, 65536, PROT_READ, MAP_SHARED, fd, 0));
        fs::resize_file(dir / "Other.fcpxml", 0);
        std::exit(bytes[20000]);
    };
#ifdef __SANITIZE_ADDRESS__
    EXPECT_EXIT(faultElsewhere(), ::testing::ExitedWithCode(1), "BUS");
#else
    EXPECT_EXIT(faultElsewhere(), ::testing::KilledBySignal(SIGBUS), "");
#endif
}

TEST(Load, ExternalResourcesAreNeverRead) {
    TempDir dir;
    // Were either file read, its content would make the document fail to load.
    writeFile(dir / "ext.dtd", "<!ENTITY broken");
    writeFile(dir / "secret.txt", "<<< not xml");
    const std::string source = "<!DOCTYPE a SYSTEM \"ext.dtd\" [\n"
                               "  <!ENTITY secret SYSTEM \"secret.txt\">\n"
                               "  <!ENTITY % dtd SYSTEM \"ext.dtd\">\n"
                               "  %dtd;\n"
                               "]>\n<a>&secret;&fromExternalDtd;</a>\n";
    writeFile(dir / "doc.xml", source);
    Document doc = Document::load(dir / "doc.xml");
    EXPECT_EQ(doc.xmlData(), source);
    EXPECT_EQ(doc.rootElement().childCount(), 1u);
}

// A file may hold more than its size said when the read began: it grew meanwhile, or it is a
// kernel file that gives no size at all. The read goes on to the end through ever bigger
// buffers. A child's environment seen through /proc is such a file with a known content: the
// one variable it was given, then the NUL that ends it, where the parse must fail.
TEST(Load, ReadsPastTheSizeTheFileHadWhenOpened) {
    std::string document = "<a>" + std::string(50000, 'x') + "</a>";
    char *argv[] = {const_cast<char *>("sleep"), const_cast<char *>("60"), nullptr};
    char *environment[] = {document.data(), nullptr};
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, "/bin/sleep", nullptr, nullptr, argv, environment), 0);
    const fs::path file = "/proc/" + std::to_string(child) + "/environ";
    // The spawn returns once the exec has begun, a moment before the environment is in place.
    while (readFile(file).empty())
        std::this_thread::yield();
    EXPECT_EQ(fs::file_size(file), 0u);
    try {
        Document::load(file);
        ADD_FAILURE() << "loaded a document with a NUL";
    } catch (const DocumentError &error) {
        EXPECT_EQ(error.reason(), "text after the root element");
        EXPECT_EQ(error.offset(), document.size());
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

// What the user reads: the file's name and the reason, which for a file that is itself the
// trouble is the system's, or a plainer one where the system's would mislead. Pipes and devices
// are refused at once: a pipe would block the open, a device would be read without end.
TEST(ErrorMessage, NamesTheFileAndTheReason) {
    TempDir dir;
    fs::create_directories(dir / "Day1.fcpxmld");
    ASSERT_EQ(mkfifo((dir / "pipe.fcpxml").c_str(), 0644), 0);
    const Document doc = Document::parse("<a>" + std::string(100000, 'x') + "</a>");
    const std::string latin1 = "<?xml version='1.0' encoding='ISO-8859-1'?><a/>";
    auto parse = [](const std::string &bytes, const LoadOptions &options = {}) {
        return [=] { Document::parse(bytes, kDay1, options); };
    };
    auto load = [](const fs::path &file) { return [=] { Document::load(file); }; };
    auto save = [&doc](const fs::path &file) { return [&doc, file] { doc.save(file); }; };
    const struct {
        std::function<void()> action;
        std::string message;
        int systemError;
    } cases[] = {
        // A parse error, told of the document inside its bundle.
        {[&] {
             throw errorFrom(parse("<a>\n</b>"))
                 .describing("“Info.fcpxml” in the bundle “Day1.fcpxmld”");
         },
         "“Info.fcpxml” in the bundle “Day1.fcpxmld” is not well-formed XML: mismatched tag "
         "(line 2, column 3).",
         0},
        {parse(latin1),
         "“Day1.fcpxml” uses the encoding ISO-8859-1, which cannot be read; export the document "
         "as UTF-8.",
         0},
        {parse(latin1, {{}, "Tessaly"}),
         "“Day1.fcpxml” uses the encoding ISO-8859-1, which Tessaly cannot read; export the "
         "document as UTF-8.",
         0},
        {load(dir / "Day1.fcpxml"), "Cannot read “Day1.fcpxml”: No such file or directory.",
         ENOENT},
        {load(dir / "Day1.fcpxmld"), "Cannot read “Day1.fcpxmld”: Is a directory.", EISDIR},
        {load(dir / "pipe.fcpxml"), "Cannot read “pipe.fcpxml”: it is not a regular file.", 0},
        {save(dir / "missing" / "Day1.fcpxml"),
         "Cannot write “Day1.fcpxml”: No such file or directory.", ENOENT},
        {save("/dev/full"), "Cannot write “full”: the disk is full.", ENOSPC},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        const DocumentError error = errorFrom(c.action);
        EXPECT_EQ(error.message(), c.message);
        EXPECT_STREQ(error.what(), c.message.c_str());
        EXPECT_EQ(error.systemError(), c.systemError);
    }
}
