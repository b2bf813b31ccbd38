// Edit scripts checked against a re-parse: each script's output must be the expected bytes and
// a document the API reads back exactly as it reads the edited tree, whether the `ref` places
// were noted at load or gathered on first use.
#include "engine/xml/document.h"
#include "support/element_walk.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <stdexcept>

using tessaly::testing::forEachElement;
using namespace tessaly::xml;

namespace {

/// Every element with its attributes (raw and decoded) and the kinds of its children, then
/// what a pass over `ref` finds, sorted: the pass visits elements added by edits last. Text
/// left side by side by an edit reads back as one node, and white space alone between tags as
/// none. Checks that each child knows its place and its neighbours.
std::string treeOf(const Document &doc) {
    std::string out;
    forEachElement(doc.rootElement(), [&](Element e) {
        out += "<" + std::string(e.name());
        for (const Attribute &a : e.attributes())
            out += " " + std::string(a.name()) + "=" + std::string(a.rawValue()) + "|" +
                   a.stringValue();
        out += ">";
        std::size_t index = 0;
        Node previous;
        bool textShown = false;
        for (const Node &child : e.children()) {
            EXPECT_EQ(child.index(), index++);
            EXPECT_EQ(child.parent(), e);
            EXPECT_EQ(child.previousSibling(), previous);
            if (child.kind() != NodeKind::Text) {
                out += char('0' + int(child.kind()));
            } else {
                if (!previous || previous.kind() != NodeKind::Text)
                    textShown = false;
                if (!textShown &&
                    child.xmlString().find_first_not_of(" \t\r\n") != std::string::npos) {
                    out += char('0' + int(child.kind()));
                    textShown = true;
                }
            }
            previous = child;
        }
        EXPECT_EQ(e.lastChild(), previous);
    });
    std::multiset<std::string> refs;
    doc.rootElement().forEachAttributeNamed("ref", [&](Element e, Attribute ref) {
        refs.insert(std::string(e.name()) + ".ref=" + ref.stringValue());
    });
    for (const std::string &ref : refs)
        out += " " + ref;
    return out;
}

/// Runs an edit script: steps separated by ';', each a verb and its words. An element is
/// written `name` or `name#n` (the nth of that name in document order, from 0) as the
/// document stands at that step; `$` is the copy last made.
///   set E attr=value   sets the value (the rest of the step, spaces and all)
///   pass E attr=value  sets every `attr` in E and below through one prepared value
///   copy E             makes a detached copy of E
///   add E F            appends F to E, moving it if attached
///   remove E           removes E from its parent
///   removeAt E i       removes E's child at position i
///   write              serialises the document, between edits
void run(Document &doc, const std::string &script) {
    Element copy;
    auto element = [&](const std::string &word) {
        if (word == "$")
            return copy;
        const std::size_t hash = word.find('#');
        std::size_t n = hash == std::string::npos ? 0 : std::stoul(word.substr(hash + 1));
        Element found;
        forEachElement(doc.rootElement(), [&](Element e) {
            if (!found && e.name() == word.substr(0, hash) && n-- == 0)
                found = e;
        });
        return found;
    };
    std::istringstream steps(script);
    for (std::string step; std::getline(steps, step, ';');) {
        std::istringstream words(step);
        std::string verb, target, operand;
        words >> verb >> target;
        std::getline(words >> std::ws, operand, '\0'); // the rest, line ends and all
        const std::size_t equals = operand.find('=');
        const std::string name = operand.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : operand.substr(equals + 1);
        if (verb == "set") {
            element(target).attributeForName(name).setStringValue(value);
        } else if (verb == "pass") {
            const PreparedValue prepared(doc.rootElement(), value);
            element(target).forEachAttributeNamed(
                name, [&](Element, Attribute attribute) { attribute.setValue(prepared); });
        } else if (verb == "copy") {
            copy = element(target).copy();
        } else if (verb == "add") {
            element(target).addChild(element(operand));
        } else if (verb == "remove") {
            element(target).parent().removeChild(element(target));
        } else if (verb == "removeAt") {
            element(target).removeChildAtIndex(std::stoul(operand));
        } else if (verb == "write") {
            doc.xmlData();
        } else {
            ADD_FAILURE() << "unknown step: " << step;
        }
    }
}

struct EditCase {
    const char *name;
    const char *source;
    const char *script;
    const char *expected;
};

const EditCase kEditCases[] = {
    // Only the value changes, escaped for its own quotes; order and spacing stay.
    {"ValuesInTheirOwnQuotes", "<a id='r1' s='x' d=\"x\" w='' e='full' n = \"A\" />",
     "set a id=r9; set a s=it's \"x\" a&b<c>; set a d=it's \"x\" a&b<c>; set a w=tab\tlf\ncr\r; "
     "set a e=; set a n=caf\xC3\xA9",
     "<a id='r9' s='it&apos;s \"x\" a&amp;b&lt;c&gt;' d=\"it's &quot;x&quot; a&amp;b&lt;c&gt;\" "
     "w='tab&#9;lf&#10;cr&#13;' e='' n = \"caf\xC3\xA9\" />"},
    {"PreparedValueInEachQuote", "<r ref=\"1\"><c ref='3'/></r>", "pass r ref=x\"y'z&<",
     "<r ref=\"x&quot;y'z&amp;&lt;\"><c ref='x\"y&apos;z&amp;&lt;'/></r>"},
    // A pass sees the document as it stands: patched values, removed elements, re-spelled
    // tags, and a copy once it is in the tree.
    {"PassAfterEdits",
     "<r ref='root'>\n <a ref = \"1\" x='y'><b  ref='2'/></a>\n <c ref='3'/>\n <d x='1'/>\n"
     " <e ref='&#x34;'/>\n</r>",
     "set a x=z; set a ref=one; remove c; copy b; add e $; pass r ref=7",
     "<r ref='7'>\n <a ref = \"7\" x='z'><b  ref='7'/></a>\n \n <d x='1'/>\n"
     " <e ref='7'><b  ref='7'/></e>\n</r>"},
    {"RemoveByIndexAfterAnEarlierRemoval", "<r>\n <a/>\n <b/><!-- keep -->\n <c/>\n</r>",
     "removeAt r 0; removeAt r 3", "<r>\n \n <b/><!-- keep -->\n \n</r>"},
    // White space alone between tags is no node until an edit next to it makes it one: it
    // stays where it stood when its neighbour goes, and an added child follows it.
    {"RemoveFirstAndLastChild", "<r>\n <a/>\n <b/>\n <c/>\n</r>", "remove a; remove c",
     "<r>\n \n <b/>\n \n</r>"},
    {"RemoveTheOnlyChildThenItsSpace", "<r>\r\n\t<a/>\r\n</r>", "remove a; removeAt r 0",
     "<r>\r\n</r>"},
    {"MoveBetweenEndsWithAndWithoutSpace", "<r>\n <a/>\n <b><k/></b>\n</r>", "add b a; add r a",
     "<r>\n \n <b><k/></b>\n<a/></r>"},
    {"EmptyFormGainingAChildThenMoved", "<r>\n <a/>\n <b/>\n</r>", "add a b; write; add r a",
     "<r>\n \n \n<a><b/></a></r>"},
    {"SpaceOnlyContentAndItsCopy", "<r><a> \t\r\n </a><b>  </b></r>", "copy b; add r $; add a b",
     "<r><a> \t\r\n <b>  </b></a><b>  </b></r>"},
    {"CopyKeepsTheSpaceInsideIt", "<r>\n <a>\n  <k/>\n </a>\n</r>",
     "copy a; add r $; remove k#1; remove k", "<r>\n <a>\n  \n </a>\n<a>\n  \n </a></r>"},
    {"SpaceByReferenceIsText", "<r><a/>&#32;<b/> &#10; </r>", "removeAt r 1; removeAt r 2",
     "<r><a/><b/></r>"},
    // A copy carries the edits made before it and none made after, on either side; added, it
    // follows the last child node.
    {"CopiesStayApartFromTheirSource", "<r><a id='1'/><b id='2'><k/></b>\n</r>",
     "copy a; set $ id=copy; set b id=7; removeAt b 0; add r $; copy b; set b id=8; add r $",
     "<r><a id='1'/><b id='8'></b>\n<a id='copy'/><b id='7'></b></r>"},
    // A tag re-spelled whole (it gained a child) is shared with its copy until either changes.
    {"CopyOfARespelledTag", "<r><a v='x'/><b/></r>", "add a b; copy a; set a v=y; add r $",
     "<r><a v='y'><b/></a><a v='x'><b/></a></r>"},
    {"EditedEmptyElementGainingContent", "<r><a id='1' /><b/></r>",
     "set a id=2; add a b; set a id=3", "<r><a id='3' ><b/></a></r>"},
    // A patched tag is written before its untouched content in one piece; a change deeper
    // inside, or to the patched element's own children, must still show.
    {"PatchedTagsWithChangesAboveAndBelow",
     "<r a='1'>\n <c ref='x'>\n  <k ref='x'/>\n  <m/>\n </c>\n"
     " <c ref='x'><![CDATA[]]]]><m/>&gt;</c>\n</r>",
     "set c#0 ref=y; set c#1 ref=y; set r a=2; write; set k ref=z; remove m; remove m",
     "<r a='2'>\n <c ref='y'>\n  <k ref='z'/>\n  \n </c>\n"
     " <c ref='y'><![CDATA[]]]]>&gt;</c>\n</r>"},
    // A region whose only changes are patched values is written from its source with the
    // values put in: a copy's patches (at its original's offsets) and a moved element must
    // not leak into it. A patched element moved elsewhere, or gaining content, keeps them.
    {"PatchedRegionsAmongCopiesAndMoves",
     "<r><s><c ref='a'><k ref='a'/></c><c ref='b'/></s><t/><u><e ref='x' /></u></r>",
     "set c ref=A; set k ref=K; copy c; set $ ref=copy; add t $; copy c#1; set $ ref=second; "
     "add t $; write; set e ref=X; add s e; add e t",
     "<r><s><c ref='A'><k ref='K'/></c><c ref='b'/><e ref='X' ><t><c ref='copy'><k ref='K'/>"
     "</c><c ref='second'/></t></e></s><u></u></r>"},
    // A copy's unchanged content is made only when first needed: whatever happens to its
    // original first, deep inside or to the copy of a copy, the copy keeps what it copied.
    {"CopiesKeepWhatTheyCopiedThroughLaterEditsOfTheOriginal", "<r>\n <a x='1'>\n  <b ref='2'>\n   <c ref='3'/>\n  </b>\n  <d/>\n </a>\n <e/>\n</r>",
     "copy a; set c ref=9; remove d; add e $",
     "<r>\n <a x='1'>\n  <b ref='2'>\n   <c ref='9'/>\n  </b>\n  \n </a>\n <e><a x='1'>\n  <b ref='2'>\n   <c ref='3'/>\n  </b>\n  <d/>\n </a></e>\n</r>"},
    {"CopyOfACopyWhileTheOriginalChanges", "<r>\n <a x='1'>\n  <b ref='2'>\n   <c ref='3'/>\n  </b>\n  <d/>\n </a>\n <e/>\n</r>", "copy a; add e $; copy e; set c ref=5; add r $",
     "<r>\n <a x='1'>\n  <b ref='2'>\n   <c ref='5'/>\n  </b>\n  <d/>\n </a>\n <e><a x='1'>\n  <b ref='2'>\n   <c ref='3'/>\n  </b>\n  <d/>\n </a></e>\n"
     "<e><a x='1'>\n  <b ref='2'>\n   <c ref='3'/>\n  </b>\n  <d/>\n </a></e></r>"},
    {"PassThroughACopysUnmadeContent", "<r>\n <a x='1'>\n  <b ref='2'>\n   <c ref='3'/>\n  </b>\n  <d/>\n </a>\n <e/>\n</r>", "copy a; pass $ ref=8; add e $",
     "<r>\n <a x='1'>\n  <b ref='2'>\n   <c ref='3'/>\n  </b>\n  <d/>\n </a>\n <e><a x='1'>\n  <b ref='8'>\n   <c ref='8'/>\n  </b>\n  <d/>\n </a></e>\n</r>"},
    {"CopyOfAnElementChangedInside", "<r>\n <a x='1'>\n  <b ref='2'>\n   <c ref='3'/>\n  </b>\n  <d/>\n </a>\n <e/>\n</r>", "set c ref=9; copy a; set c ref=1; add e $",
     "<r>\n <a x='1'>\n  <b ref='2'>\n   <c ref='1'/>\n  </b>\n  <d/>\n </a>\n <e><a x='1'>\n"
     "  <b ref='2'>\n   <c ref='9'/>\n  </b>\n  <d/>\n </a></e>\n</r>"},
    // Removing what separates two runs of text joins them; "]]>" must not appear in text.
    {"JoinedTextAcrossTwoElements", "<a>]<b/>]<c/>>x</a>", "removeAt a 1; removeAt a 2",
     "<a>]]&gt;x</a>"},
};

} // namespace

TEST(Edit, ScriptsGiveTheExpectedBytesAndReadBackAsAReparse) {
    for (const EditCase &c : kEditCases) {
        for (const bool noted : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (noted ? ", places noted" : ", places gathered"));
            Document doc =
                Document::parse(c.source, "doc.xml", noted ? LoadOptions{{"ref"}} : LoadOptions{});
            treeOf(doc); // gathers the places before the edits, which must keep them right
            run(doc, c.script);
            const std::string out = doc.xmlData();
            EXPECT_EQ(out, c.expected);
            EXPECT_EQ(treeOf(doc), treeOf(Document::parse(out)));
        }
    }
}

// An element that is not there reads as empty; a refused edit throws before it changes
// anything.
TEST(Edit, EmptyHandlesReadEmptyAndRefusedEditsChangeNothing) {
    const std::string source = "<a id='r1'><b/></a>";
    Document doc = Document::parse(source);
    Element root = doc.rootElement();
    Element b = root.firstElementNamed("b");
    Attribute id = root.attributeForName("id");
    Element missing = root.firstElementNamed("none");
    EXPECT_EQ(missing.name(), "");
    EXPECT_TRUE(missing.children().empty());
    EXPECT_FALSE(missing.firstElementNamed("b") || missing.parent() ||
                 missing.attributeForName("id"));
    EXPECT_EQ(missing.attributeForName("id").stringValue(), "");

    const Document other = Document::parse("<o/>");
    const PreparedValue foreign(other.rootElement(), "x");
    EXPECT_THROW(id.setStringValue(std::string("a\0b", 3)), std::invalid_argument);
    EXPECT_THROW(id.setStringValue("\xC3"), std::invalid_argument);
    EXPECT_THROW(PreparedValue(root, "bell \a"), std::invalid_argument);
    EXPECT_THROW(PreparedValue(Element(), "x"), std::logic_error);
    EXPECT_THROW(id.setValue(foreign), std::invalid_argument);
    EXPECT_THROW(b.addChild(root), std::invalid_argument);
    EXPECT_THROW(root.addChild(missing), std::invalid_argument);
    EXPECT_THROW(root.removeChildAtIndex(1), std::out_of_range);
    EXPECT_THROW(missing.addChild(b), std::logic_error);
    EXPECT_THROW(missing.attributeForName("id").setStringValue("x"), std::logic_error);
    EXPECT_EQ(doc.xmlData(), source);
}

// Attribute handles kept across edits of their tag find their own attribute again, by its
// place among the tag's attributes, however the tag was spelled since.
TEST(Edit, KeptAttributeHandlesFollowTheirTagThroughEdits) {
    Document doc = Document::parse("<r><a id='r1' ref=\"r2\" x='3'/><b/></r>");
    Element a = doc.rootElement().firstElementNamed("a");
    std::vector<Attribute> kept = a.attributes();
    const auto read = [&] {
        std::string out;
        for (const Attribute &attribute : kept)
            out += std::string(attribute.name()) + "=" + attribute.stringValue() + " ";
        return out;
    };
    EXPECT_EQ(read(), "id=r1 ref=r2 x=3 ");
    kept[1].setStringValue("a longer value with 'quotes'");
    EXPECT_EQ(read(), "id=r1 ref=a longer value with 'quotes' x=3 ");
    a.addChild(doc.rootElement().firstElementNamed("b"));
    kept[0].setStringValue("r9");
    EXPECT_EQ(read(), "id=r9 ref=a longer value with 'quotes' x=3 ");
    EXPECT_EQ(doc.xmlData(),
              "<r><a id='r9' ref=\"a longer value with 'quotes'\" x='3'><b/></a></r>");
}

// Places too large for the index's 16-bit fields (a value over 64 KiB, an attribute after
// 65,535 others) are found again from the tag.
TEST(AttributePass, LongValuesAndManyAttributes) {
    auto text = [](const std::string &first, const std::string &last) {
        std::string tags = "<r><a ref='" + first + "'/><b";
        for (int i = 0; i < 70000; ++i)
            tags += " x" + std::to_string(i) + "=''";
        return tags + " ref='" + last + "'/></r>";
    };
    for (const bool noted : {false, true}) {
        SCOPED_TRACE(noted ? "places noted" : "places gathered");
        Document doc = Document::parse(text(std::string(70000, 'v'), "last"), "doc.xml",
                                       noted ? LoadOptions{{"ref"}} : LoadOptions{});
        std::vector<std::size_t> lengths;
        doc.rootElement().forEachAttributeNamed("ref", [&](Element, Attribute ref) {
            lengths.push_back(ref.stringValue().size());
            ref.setStringValue("new");
        });
        EXPECT_EQ(lengths, (std::vector<std::size_t>{70000, 4}));
        EXPECT_TRUE(doc.xmlData() == text("new", "new"));
    }
}
