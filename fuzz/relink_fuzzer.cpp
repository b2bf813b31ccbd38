// Fuzz target for the relink: a document in, relinked and saved. A document that is not
// well-formed is an expected outcome, and so is one the relink refuses, which must then be left
// exactly as it was read. Of a relinked one, the saved output must parse, define no id twice,
// leave no `ref` naming a missing id and no `format` naming a missing format, unless the input
// already did, and spell everything the relink does not change exactly as the input did.
#include "engine/relink/fcpxml_relinker.h"
#include "engine/relink/text_key.h"
#include "engine/xml/document.h"
#include "fuzz/finding.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace tessaly;
using tessaly::fuzz::check;
using tessaly::fuzz::fail;

/// Ids given to more than one element, and references that name nothing of their kind: a `ref`
/// may name any element, a `format` only a format.
struct Faults {
    std::set<std::string> duplicateIDs;
    std::set<std::string> dangling;
};

Faults faultsOf(const xml::Document &doc) {
    Faults faults;
    std::map<std::string, int> ids;
    std::set<std::string> formats;
    const xml::Element root = doc.rootElement();
    root.forEachAttributeNamed("id", [&](xml::Element e, xml::Attribute id) {
        if (++ids[id.stringValue()] == 2)
            faults.duplicateIDs.insert(id.stringValue());
        if (e.name() == "format")
            formats.insert(id.stringValue());
    });
    root.forEachAttributeNamed(
        {"ref", "format"}, [&](xml::Element, xml::Attribute a, std::size_t which) {
            const std::string value = a.stringValue();
            if (!value.empty() && !(which == 0 ? ids.count(value) : formats.count(value)))
                faults.dangling.insert(std::string(which == 0 ? "ref " : "format ") + value);
        });
    return faults;
}

std::string listed(const std::set<std::string> &texts) {
    std::string out;
    for (const std::string &text : texts)
        out += "[" + text + "] ";
    return out;
}

/// The document with every place the relink may change taken out: the assets and formats of
/// its resources whose ids are in `removed`, every `format` value and every `ref` value that
/// names one of `masked`. What remains must be the same before and after a relink.
std::string unchangedPart(xml::Document &doc, const std::set<std::string> &removed,
                          const std::set<std::string> &masked) {
    const xml::Element root = doc.rootElement();
    if (xml::Element resources = root.firstElementNamed("resources")) {
        std::vector<xml::Element> gone;
        for (xml::Node n = resources.firstChild(); n; n = n.nextSibling()) {
            const xml::Element e = n.toElement();
            const std::optional<std::string> id = e ? e.attributeValue("id") : std::nullopt;
            if (id && (e.name() == "asset" || e.name() == "format") && removed.count(textKey(*id)))
                gone.push_back(e);
        }
        for (const xml::Element &e : gone)
            resources.removeChild(e);
    }
    root.forEachAttributeNamed({"ref", "format"},
                               [&](xml::Element, xml::Attribute a, std::size_t which) {
                                   if (which == 1 || masked.count(textKey(a.stringValue())))
                                       a.setStringValue("*");
                               });
    return doc.xmlData();
}

/// What Document::save writes, read back from a file in memory.
std::string saved(const xml::Document &doc) {
    static const int fd = memfd_create("relinked.fcpxml", 0);
    check(fd >= 0 && ftruncate(fd, 0) == 0 && lseek(fd, 0, SEEK_SET) == 0,
          "cannot make a file in memory");
    doc.save(fd, "relinked.fcpxml");
    std::string bytes(static_cast<std::size_t>(lseek(fd, 0, SEEK_CUR)), '\0');
    check(pread(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()),
          "cannot read the saved output back");
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);
    std::optional<xml::Document> doc;
    try {
        doc.emplace(xml::Document::parse(input, "Day1.fcpxml", FCPXMLRelinker::loadOptions()));
    } catch (const xml::DocumentError &) {
        return 0;
    }
    RelinkResult result;
    try {
        result = FCPXMLRelinker::relink(*doc);
    } catch (const RelinkError &) {
        check(doc->xmlData() == input, "a refused document was changed");
        return 0;
    }

    const std::string output = saved(*doc);
    check(output == doc->xmlData(), "the saved output differs from the serialised document");
    std::optional<xml::Document> relinked;
    try {
        relinked.emplace(xml::Document::parse(output, "Day1_braw.fcpxml"));
    } catch (const xml::DocumentError &error) {
        fail("the output does not parse", error.message() + "\n---\n" + output);
    }

    xml::Document original = xml::Document::parse(input);
    const Faults before = faultsOf(original), after = faultsOf(*relinked);
    for (const std::string &id : after.duplicateIDs)
        check(before.duplicateIDs.count(id), "the output defines an id twice",
              id + "\n---\n" + output);
    for (const std::string &value : after.dangling)
        check(before.dangling.count(value), "the output names what is not there",
              value + " (the input already names " + listed(before.dangling) + ")\n---\n" + output);

    std::set<std::string> removed, masked;
    for (const RelinkChange &change : result.changes) {
        for (const std::string *id : {&change.oldAssetID, &change.newAssetID}) {
            removed.insert(textKey(*id));
            masked.insert(textKey(*id));
        }
    }
    for (const std::string &id : result.orphanFormatsRemoved)
        removed.insert(textKey(id));
    const std::string expected = unchangedPart(original, removed, masked);
    const std::string got = unchangedPart(*relinked, removed, masked);
    check(expected == got, "the output changed more than the relink's places",
          "input, places taken out:\n" + expected + "\n---\noutput, places taken out:\n" + got);
    return 0;
}
