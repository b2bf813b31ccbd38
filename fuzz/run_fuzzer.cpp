// Fuzz target for the whole run on real files: the input is written as a document or as the
// document of a bundle in a temporary folder, and RelinkRun::perform previews or applies it,
// with or without an earlier output in the way. Whatever the document holds, the input stays as
// it was; a failed run or a preview leaves the folder exactly as it found it and says why; an
// apply leaves its output, the bytes an in-memory relink gives, its change log, and nothing else.
//
// Each input touches the disk several times: run it on a memory file system for speed
// (TMPDIR=/dev/shm).
#include "engine/relink/fcpxml_relinker.h"
#include "engine/run/relink_run.h"
#include "engine/xml/document.h"
#include "fuzz/finding.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace tessaly;
using tessaly::fuzz::check;

/// The folder the runs work in, made once, emptied after every input and removed at exit.
const fs::path &workFolder() {
    struct Folder {
        fs::path path;
        ~Folder() {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    };
    static const Folder folder = [] {
        std::string pattern = (fs::temp_directory_path() / "tessaly-run-fuzz-XXXXXX").string();
        check(mkdtemp(pattern.data()) != nullptr, "cannot make a temporary folder");
        return Folder{pattern};
    }();
    return folder.path;
}

std::string readFile(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path &file, const std::string &bytes) {
    std::ofstream out(file, std::ios::binary);
    out << bytes;
    check(out.good(), "cannot write a file of the set-up", file.string());
}

/// Every entry below `folder` by its relative path: a folder's, or a file's contents.
std::map<std::string, std::string> snapshot(const fs::path &folder) {
    std::map<std::string, std::string> entries;
    for (const auto &entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().lexically_relative(folder).string();
        entries[name] = entry.is_directory() ? "(folder)" : "file: " + readFile(entry.path());
    }
    return entries;
}

std::string differences(const std::map<std::string, std::string> &before,
                        const std::map<std::string, std::string> &after) {
    std::string out;
    for (const auto &[name, what] : before)
        if (auto it = after.find(name); it == after.end() || it->second != what)
            out += (it == after.end() ? "gone: " : "changed: ") + name + "\n";
    for (const auto &[name, what] : after)
        if (!before.count(name))
            out += "made: " + name + "\n";
    return out;
}

/// What an in-memory relink makes of the document, or nullopt when it refuses it.
std::optional<std::string> relinkedInMemory(const std::string &document) {
    try {
        xml::Document doc =
            xml::Document::parse(document, "Info.fcpxml", FCPXMLRelinker::loadOptions());
        FCPXMLRelinker::relink(doc);
        return doc.xmlData();
    } catch (const xml::DocumentError &) {
    } catch (const RelinkError &) {
    }
    return std::nullopt;
}

void runOnce(const std::string &input, std::uint64_t choices) {
    const fs::path &folder = workFolder();
    const bool bundle = choices & 1;
    RunRequest request;
    request.dryRun = (choices & 6) == 0; // a quarter of the runs preview
    request.replaceExisting = choices & 8;
    request.requireOriginals = (choices & 0x30) == 0;
    request.writeLog = (choices & 0xC0) != 0;
    const bool earlierOutput = choices & 0x100;

    // The input, with a second entry in a bundle that an apply copies as it is; perhaps an
    // earlier output in the way.
    request.input = folder / (bundle ? "Day1.fcpxmld" : "Day1.fcpxml");
    request.output = RelinkRun::defaultOutputLocation(request.input);
    const fs::path document = bundle ? request.input / "Info.fcpxml" : request.input;
    if (bundle) {
        fs::create_directories(request.input / "Media");
        writeFile(request.input / "Media" / "notes.txt", "kept as it is\n");
    }
    writeFile(document, input);
    if (earlierOutput) {
        if (bundle)
            fs::create_directory(request.output);
        writeFile(bundle ? request.output / "Info.fcpxml" : request.output, "<fcpxml/>");
    }
    const auto before = snapshot(folder);

    const RunOutcome outcome = RelinkRun::perform(request);
    const auto after = snapshot(folder);
    const std::optional<std::string> expected = relinkedInMemory(input);
    if (!outcome.succeeded() || request.dryRun) {
        check(after == before, "a failed run or a preview changed the folder",
              differences(before, after) + outcome.errorMessage);
        check(outcome.succeeded() != !outcome.errorMessage.empty(),
              "a run's message disagrees with its outcome", outcome.errorMessage);
        check(outcome.written.empty() && outcome.logPath.empty(),
              "a failed run or a preview names what it wrote");
        if (!outcome.succeeded()) {
            // A refusal of the document itself, of an earlier output, or of missing originals.
            check(!expected || (earlierOutput && !request.replaceExisting) ||
                      request.requireOriginals,
                  "a run failed on a document the relink accepts", outcome.errorMessage);
            return;
        }
    }
    check(expected.has_value(), "a run succeeded on a document the relink refuses");
    check(request.dryRun || !earlierOutput || request.replaceExisting,
          "an apply replaced an earlier output it was not allowed to");
    if (request.requireOriginals)
        for (const RelinkChange &change : outcome.result->changes)
            check(change.brawFound, "a run that requires the originals went on without one",
                  change.newSrc);
    if (request.dryRun)
        return;

    check(outcome.written == request.output, "an apply names another output",
          outcome.written.string());
    const fs::path written = bundle ? request.output / "Info.fcpxml" : request.output;
    check(readFile(written) == *expected, "the output differs from the in-memory relink");
    // Nothing else changed: the input stands, an earlier output was replaced whole, and the
    // only other new entry is the log.
    const std::string outputName = request.output.filename().string();
    auto expectedAfter = before;
    std::erase_if(expectedAfter, [&](const auto &entry) {
        return entry.first == outputName || entry.first.starts_with(outputName + "/");
    });
    if (bundle) {
        expectedAfter[outputName] = "(folder)";
        expectedAfter[outputName + "/Info.fcpxml"] = "file: " + *expected;
        expectedAfter[outputName + "/Media"] = "(folder)";
        expectedAfter[outputName + "/Media/notes.txt"] = "file: kept as it is\n";
    } else {
        expectedAfter[outputName] = "file: " + *expected;
    }
    check(request.writeLog ? !outcome.logPath.empty() || !outcome.logError.empty()
                           : outcome.logPath.empty(),
          "an apply's log is not as asked", outcome.logError);
    if (!outcome.logPath.empty())
        expectedAfter[outcome.logPath.lexically_relative(folder).string()] =
            "file: " + readFile(outcome.logPath);
    check(after == expectedAfter, "an apply left other changes than its output and its log",
          differences(expectedAfter, after));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    runOnce(std::string(reinterpret_cast<const char *>(data), size),
            tessaly::fuzz::hashOf(data, size));
    for (const auto &entry : fs::directory_iterator(workFolder()))
        fs::remove_all(entry.path());
    return 0;
}
