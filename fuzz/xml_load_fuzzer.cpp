// Fuzz target for Document::parse. A parse error is an expected outcome; anything else that
// goes wrong is a finding: a crash, a sanitizer report, another exception, a document that does
// not serialise back to its own bytes, or an edit whose output no longer parses.
#include "engine/xml/document.h"
#include "fuzz/finding.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using tessaly::fuzz::check;
using tessaly::fuzz::fail;
using tessaly::fuzz::hashOf;
using tessaly::xml::Attribute;
using tessaly::xml::Document;
using tessaly::xml::DocumentError;
using tessaly::xml::Element;
using tessaly::xml::Node;
using tessaly::xml::NodeKind;

// Every element in document order, visited with an explicit stack: inputs nest deeper than any
// call stack allows. Names, attributes and the links between nodes are read on the way.
std::vector<Element> walk(const Document &doc) {
    std::vector<Element> elements;
    Element root = doc.rootElement();
    if (!root)
        return elements;
    check(!root.parent(), "the root element has a parent");
    std::vector<Element> stack{root};
    while (!stack.empty()) {
        Element e = stack.back();
        stack.pop_back();
        elements.push_back(e);
        check(!e.name().empty(), "an element without a name");
        for (const Attribute &a : e.attributes()) {
            check(!a.name().empty(), "an attribute without a name");
            std::string value = a.stringValue();
            (void)a.rawValue();
            Attribute found = e.attributeForName(a.name());
            // Names are unique in a well-formed start tag, so equal spelling means the same one.
            check(found && found.name() == a.name() && found.rawValue() == a.rawValue(),
                  "attributeForName finds another attribute");
            check(e.attributeValue(a.name()) == value, "attributeValue differs from stringValue");
        }
        std::vector<Node> children = e.children();
        check(children.size() == e.childCount(), "childCount differs from children()");
        check(children.empty()
                  ? !e.firstChild() && !e.lastChild()
                  : e.firstChild() == children.front() && e.lastChild() == children.back(),
              "firstChild or lastChild differs from children()");
        for (std::size_t i = 0; i < children.size(); ++i) {
            const Node &child = children[i];
            check(child.parent() == e, "a child whose parent is another element");
            // index() may search its siblings; checking a few keeps wide elements linear.
            if (i < 4 || i + 1 == children.size())
                check(child.index() == i, "index() differs from the position in children()");
            check(child.nextSibling() == (i + 1 < children.size() ? children[i + 1] : Node()),
                  "nextSibling differs from children()");
            check(child.previousSibling() == (i > 0 ? children[i - 1] : Node()),
                  "previousSibling differs from children()");
            if (child.isElement())
                continue;
            check(child.kind() != NodeKind::Prolog, "a prolog node inside an element");
            (void)child.xmlString();
        }
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            if (it->isElement())
                stack.push_back(it->toElement());
    }
    return elements;
}

// The element positions (among element siblings only: text nodes split by an edit merge when
// re-parsed) leading from the root to `e`, to find the same element after a re-parse.
std::vector<std::size_t> pathOf(Element e) {
    std::vector<std::size_t> path;
    for (; e.parent(); e = e.parent()) {
        std::size_t n = 0;
        for (Node s = e.previousSibling(); s; s = s.previousSibling())
            n += s.isElement();
        path.push_back(n);
    }
    return {path.rbegin(), path.rend()};
}

bool attached(Element e, const Document &doc) {
    while (e.parent())
        e = e.parent();
    return e == doc.rootElement();
}

Element follow(const Document &doc, const std::vector<std::size_t> &path) {
    Element e = doc.rootElement();
    for (std::size_t i : path) {
        Element next;
        std::size_t n = 0;
        for (Node c = e ? e.firstChild() : Node(); c && !next; c = c.nextSibling())
            if (c.isElement() && n++ == i)
                next = c.toElement();
        e = next;
    }
    return e;
}

const std::string_view kValues[] = {
    "",
    "r42",
    "a&b<c>\"d'e\tf\ng\rh]]>i",
    "file:///Volumes/Media/Jour%203/A001_C0001.braw",
    "Caf\xC3\xA9 \xE2\x80\x93 \xE3\x82\xAB\xE3\x83\xA1\xE3\x83\xA9 \xF0\x9F\x8E\xAC",
    "&amp; &#38; &lt;!-- not a comment --&gt;",
};

void editAndReparse(Document &doc, std::vector<Element> &elements, std::uint64_t h) {
    auto pick = [&](std::size_t n) {
        std::size_t r = static_cast<std::size_t>(h % n);
        h = h / n + (h << 17);
        return r;
    };

    // 1. Set an attribute's value; it must read back decoded exactly as set.
    Element withAttribute = elements[pick(elements.size())];
    std::string editedName;
    std::string_view value = kValues[pick(std::size(kValues))];
    if (std::vector<Attribute> attributes = withAttribute.attributes(); !attributes.empty()) {
        Attribute a = attributes[pick(attributes.size())];
        a.setStringValue(value);
        check(a.stringValue() == value, "an attribute does not read back the value just set");
        editedName = a.name();
    }

    // 2. Append a copy of one element to another (possibly itself or one written as <x/>).
    Element source = elements[pick(elements.size())];
    Element target = elements[pick(elements.size())];
    Element copy = source.copy();
    check(!copy.parent(), "a copy is attached");
    check(copy.xmlString() == source.xmlString(), "a copy is spelled unlike its source");
    // White space that ended the target's content becomes a node before the copy.
    auto madeGap = [](Node n) {
        return n && n.kind() == NodeKind::Text &&
               n.xmlString().find_first_not_of(" \t\r\n") == std::string::npos;
    };
    std::size_t before = target.childCount();
    target.addChild(copy);
    const std::size_t added = target.childCount() - before;
    check((added == 1 || (added == 2 && madeGap(copy.previousSibling()))) &&
              target.lastChild() == copy && copy.parent() == target,
          "an appended copy is not the target's last child");

    // 3. Remove a child; its handle stays usable as a detached node.
    Element holder = elements[pick(elements.size())];
    if (std::size_t count = holder.childCount(); count > 0) {
        std::size_t at = pick(count);
        Node removed = holder.children()[at];
        holder.removeChildAtIndex(at);
        // The white space before the child stays, now as a node where the child stood.
        const std::size_t left = holder.childCount();
        check((left == count - 1 || (left == count && madeGap(holder.children()[at]))) &&
                  !removed.parent(),
              "a removed child is still attached");
        (void)removed.xmlString();
    }

    // 4. A pass over one attribute name finds exactly what a walk finds, whether the parser
    // noted the places or not, after the edits above.
    for (std::string_view name : {std::string_view(editedName), std::string_view("ref")}) {
        if (name.empty())
            continue;
        auto describe = [](Element e, const Attribute &a) {
            std::string text;
            for (std::size_t i : pathOf(e))
                text += std::to_string(i) + "/";
            return text + std::string(a.name()) + "=" + a.stringValue();
        };
        std::vector<std::string> byPass, byWalk;
        doc.rootElement().forEachAttributeNamed(
            name, [&](Element e, Attribute a) { byPass.push_back(describe(e, a)); });
        for (const Element &e : walk(doc))
            if (Attribute a = e.attributeForName(name))
                byWalk.push_back(describe(e, a));
        std::sort(byPass.begin(), byPass.end());
        std::sort(byWalk.begin(), byWalk.end());
        check(byPass == byWalk, "a pass over an attribute name differs from a walk");
    }

    std::string edited = doc.xmlData();
    try {
        Document again = Document::parse(edited);
        check(again.xmlData() == edited, "an edited document does not round-trip after re-parsing");
        // The edited element may have moved or gone with the removal; look it up where it is now.
        if (!editedName.empty() && attached(withAttribute, doc)) {
            Element e = follow(again, pathOf(withAttribute));
            std::optional<std::string> read = e ? e.attributeValue(editedName) : std::nullopt;
            if (read != value)
                fail("an attribute set before saving reads back otherwise after re-parsing",
                     editedName + " set to [" + std::string(value) + "] reads [" +
                         read.value_or("(none)") + "]\n---\n" + edited);
        }
    } catch (const DocumentError &e) {
        fail("an edited document is not well-formed", std::string(e.what()) + "\n---\n" + edited);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char *>(data), size);
    std::optional<Document> parsed;
    try {
        // Half the inputs have the parser note places, half gather them on first use.
        const bool noted = hashOf(data, size) & 1;
        parsed.emplace(Document::parse(
            bytes, "document.xml",
            {noted ? std::vector<std::string>{"ref", "id", "a"} : std::vector<std::string>{}}));
    } catch (const DocumentError &) {
        return 0;
    }
    Document &doc = *parsed;
    if (doc.xmlData() != bytes)
        fail("an accepted document does not serialise back to its own bytes");

    std::string joined;
    for (const Node &n : doc.children())
        joined += n.xmlString();
    check(joined == bytes, "the document-level nodes do not spell the whole document");

    std::vector<Element> elements = walk(doc);
    if (!elements.empty())
        editAndReparse(doc, elements, hashOf(data, size));
    return 0;
}
