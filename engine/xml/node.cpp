// The handle classes: Node, Element and Attribute are thin views onto a DocumentImpl.

#include "engine/xml/document.h"
#include "engine/xml/document_impl.h"
#include "engine/xml/start_tag.h"

#include <stdexcept>

namespace tessaly::xml {

NodeKind Node::kind() const {
    return m_doc->rec(m_id).kind;
}

Element Node::toElement() const {
    return isElement() ? Element(m_doc, m_id) : Element();
}

Element Node::parent() const {
    if (!m_doc)
        return {};
    std::uint32_t parent = m_doc->rec(m_id).parent;
    if (parent == kNoNode || parent == DocumentImpl::kDocumentNode)
        return {};
    return Element(m_doc, parent);
}

std::size_t Node::index() const {
    if (!m_doc)
        return 0;
    std::uint32_t parent = m_doc->rec(m_id).parent;
    if (parent == kNoNode)
        return 0;
    std::size_t i = 0;
    for (std::uint32_t n = m_doc->rec(parent).firstChild; n != m_id; n = m_doc->rec(n).next)
        ++i;
    return i;
}

Node Node::nextSibling() const {
    if (!m_doc)
        return {};
    std::uint32_t next = m_doc->rec(m_id).next;
    return next == kNoNode ? Node() : Node(m_doc, next);
}

Node Node::previousSibling() const {
    if (!m_doc)
        return {};
    std::uint32_t prev = m_doc->previousSibling(m_id);
    return prev == kNoNode ? Node() : Node(m_doc, prev);
}

std::string Node::xmlString() const {
    if (!m_doc)
        return {};
    SpanList spans;
    m_doc->collectSpans(m_id, spans);
    std::string out;
    out.reserve(spans.totalSize());
    for (const Span &span : spans.spans())
        out.append(span.data, span.size);
    return out;
}

std::string_view Element::name() const {
    if (!m_doc)
        return {};
    return m_doc->elementName(m_id);
}

std::vector<Attribute> Element::attributes() const {
    if (!m_doc)
        return {};
    std::vector<Attribute> out;
    start_tag::AttributeReader reader(m_doc->unpatchedTag(m_id));
    start_tag::AttributeText text;
    for (std::uint32_t i = 0; reader.next(text); ++i)
        out.push_back(Attribute(m_doc, m_id, i));
    return out;
}

Attribute Element::attributeForName(std::string_view name) const {
    if (!m_doc || !(m_doc->rec(m_id).names & start_tag::nameBit(name)))
        return {};
    const std::string_view tag = m_doc->unpatchedTag(m_id);
    start_tag::AttributeReader reader(tag);
    start_tag::AttributeText text;
    for (std::uint32_t i = 0; reader.next(text); ++i) {
        if (text.name == name) {
            Attribute attribute(m_doc, m_id, i);
            attribute.remember(tag, text.name, text.value, text.quote);
            return attribute;
        }
    }
    return {};
}

void Element::attributesForNames(std::initializer_list<std::string_view> names,
                                 Attribute *out) const {
    std::uint16_t wanted = 0;
    std::size_t missing = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        out[i] = Attribute();
        const std::uint16_t bit = start_tag::nameBit(names.begin()[i]);
        if (m_doc && (m_doc->rec(m_id).names & bit)) {
            wanted |= bit;
            ++missing;
        }
    }
    if (!missing)
        return;
    const std::string_view tag = m_doc->unpatchedTag(m_id);
    start_tag::AttributeReader reader(tag);
    start_tag::AttributeText text;
    for (std::uint32_t index = 0; missing && reader.next(text); ++index) {
        if (!(start_tag::nameBit(text.name) & wanted))
            continue;
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (!out[i] && text.name == names.begin()[i]) {
                out[i] = Attribute(m_doc, m_id, index);
                out[i].remember(tag, text.name, text.value, text.quote);
                --missing;
                break;
            }
        }
    }
}

std::optional<std::string> Element::attributeValue(std::string_view name) const {
    if (!m_doc || !(m_doc->rec(m_id).names & start_tag::nameBit(name)))
        return std::nullopt;
    const std::string_view tag = m_doc->unpatchedTag(m_id);
    start_tag::AttributeReader reader(tag);
    start_tag::AttributeText text;
    while (reader.next(text))
        if (text.name == name)
            return m_doc->decodeAttributeValue(m_doc->effectiveValue(m_id, tag, text.value));
    return std::nullopt;
}

std::vector<Node> Element::children() const {
    if (!m_doc)
        return {};
    std::vector<Node> out;
    for (std::uint32_t n = m_doc->firstChildOf(m_id); n != kNoNode; n = m_doc->rec(n).next)
        out.push_back(DocumentImpl::nodeHandle(m_doc, n));
    return out;
}

std::size_t Element::childCount() const {
    if (!m_doc)
        return 0;
    std::size_t count = 0;
    for (std::uint32_t n = m_doc->firstChildOf(m_id); n != kNoNode; n = m_doc->rec(n).next)
        ++count;
    return count;
}

Node Element::firstChild() const {
    if (!m_doc)
        return {};
    std::uint32_t first = m_doc->firstChildOf(m_id);
    return first == kNoNode ? Node() : DocumentImpl::nodeHandle(m_doc, first);
}

Node Element::lastChild() const {
    if (!m_doc)
        return {};
    m_doc->firstChildOf(m_id);
    std::uint32_t last = m_doc->lastChild(m_id);
    return last == kNoNode ? Node() : DocumentImpl::nodeHandle(m_doc, last);
}

std::vector<Element> Element::elementsForName(std::string_view name) const {
    if (!m_doc)
        return {};
    std::vector<Element> out;
    for (std::uint32_t n = m_doc->firstChildOf(m_id); n != kNoNode; n = m_doc->rec(n).next)
        if (m_doc->rec(n).kind == NodeKind::Element && m_doc->elementName(n) == name)
            out.push_back(Element(m_doc, n));
    return out;
}

Element Element::firstElementNamed(std::string_view name) const {
    if (!m_doc)
        return {};
    for (std::uint32_t n = m_doc->firstChildOf(m_id); n != kNoNode; n = m_doc->rec(n).next)
        if (m_doc->rec(n).kind == NodeKind::Element && m_doc->elementName(n) == name)
            return Element(m_doc, n);
    return {};
}

void Element::removeChildAtIndex(std::size_t index) {
    if (!m_doc)
        throw std::logic_error("removeChildAtIndex on an empty element handle");
    std::uint32_t n = m_doc->firstChildOf(m_id);
    for (std::size_t i = 0; n != kNoNode && i < index; ++i)
        n = m_doc->rec(n).next;
    if (n == kNoNode)
        throw std::out_of_range("removeChildAtIndex: no child at that position");
    m_doc->detach(n);
    m_doc->markStructureChanged(m_id);
}

void Element::removeChild(Node child) {
    if (!m_doc)
        throw std::logic_error("removeChild on an empty element handle");
    std::uint32_t id = DocumentImpl::idOf(child);
    if (DocumentImpl::documentOf(child) != m_doc || !child || m_doc->rec(id).parent != m_id)
        throw std::invalid_argument("removeChild: the node is not a child of this element");
    m_doc->detach(id);
    m_doc->markStructureChanged(m_id);
}

void Element::addChild(Node child) {
    if (!m_doc)
        throw std::logic_error("addChild on an empty element handle");
    std::uint32_t id = DocumentImpl::idOf(child);
    if (DocumentImpl::documentOf(child) != m_doc || !child)
        throw std::invalid_argument("addChild: the node belongs to another document");
    if (child.kind() == NodeKind::Prolog)
        throw std::invalid_argument("addChild: document-level nodes cannot become children");
    for (std::uint32_t n = m_id; n != kNoNode; n = m_doc->rec(n).parent)
        if (n == id)
            throw std::invalid_argument("addChild: a node cannot become its own descendant");
    m_doc->beforeEdit(m_id);
    if (m_doc->rec(id).parent != kNoNode) {
        std::uint32_t oldParent = m_doc->rec(id).parent;
        m_doc->detach(id);
        m_doc->markStructureChanged(oldParent);
    }
    NodeRec &r = m_doc->rec(m_id);
    if (r.flags & kEmptyForm) {
        // `<a/>` gains content: it becomes `<a>` and gets a generated `</a>`.
        std::string tag = start_tag::withoutEmptyMark(m_doc->startTag(m_id));
        m_doc->rec(m_id).flags = std::uint8_t((r.flags & ~kEmptyForm) | kSynthEnd);
        m_doc->setStartTag(m_id, std::move(tag));
    }
    m_doc->appendChild(m_id, id);
    m_doc->markStructureChanged(m_id);
}

Element Element::copy() const {
    if (!m_doc)
        return {};
    return Element(m_doc, m_doc->deepCopy(m_id));
}

void Attribute::remember(std::string_view tag, std::string_view name, std::string_view value,
                         char quote) const {
    m_place = Place{std::uint32_t(name.data() - tag.data()), std::uint32_t(name.size()),
                    std::uint32_t(value.data() - tag.data()), std::uint32_t(value.size()), quote};
    m_placeStamp = m_doc->tagEdits();
    m_notedText = AttributeIndex::kNoText;
}

const Attribute::Place &Attribute::place() const {
    if (m_placeStamp != m_doc->tagEdits()) {
        const std::string_view tag = m_doc->unpatchedTag(m_element);
        start_tag::AttributeText text;
        start_tag::attributeAt(tag, m_index, text);
        remember(tag, text.name, text.value, text.quote);
    }
    return m_place;
}

std::string_view Attribute::name() const {
    if (!m_doc)
        return {};
    const Place &where = place();
    const std::string_view tag = m_doc->unpatchedTag(m_element);
    if (where.nameBegin == kNameBeforeValue)
        m_place.nameBegin =
            std::uint32_t(start_tag::nameBeginBefore(tag, where.valueBegin, where.nameLength));
    return tag.substr(m_place.nameBegin, where.nameLength);
}

std::string_view Attribute::rawValue() const {
    if (!m_doc)
        return {};
    const Place &where = place();
    if (m_notedText != AttributeIndex::kNoText)
        return m_doc->effectiveValue(m_element, where.valueBegin,
                                     m_doc->attributeIndex.texts().value(m_notedText));
    const std::string_view tag = m_doc->unpatchedTag(m_element);
    return m_doc->effectiveValue(m_element, tag, tag.substr(where.valueBegin, where.valueLength));
}

std::string Attribute::stringValue() const {
    if (!m_doc)
        return {};
    return m_doc->decodeAttributeValue(rawValue());
}

void Attribute::setStringValue(std::string_view value) {
    if (!m_doc)
        throw std::logic_error("setStringValue on an empty attribute handle");
    start_tag::checkValueCharacters(value);
    const Place where = place();
    m_doc->setValue(m_element, where.valueBegin, where.valueLength,
                    start_tag::escapeValue(value, where.quote));
    m_placeStamp = ~std::uint64_t(0);
}

PreparedValue::PreparedValue(const Node &node, std::string_view value) : m_doc(node.m_doc) {
    if (!m_doc)
        throw std::logic_error("PreparedValue for an empty handle");
    start_tag::checkValueCharacters(value);
    DocumentImpl *doc = node.m_doc;
    m_inDoubleQuotes = doc->patchTextIndex(start_tag::escapeValue(value, '"'));
    m_inSingleQuotes = doc->patchTextIndex(start_tag::escapeValue(value, '\''));
}

void Attribute::setValue(const PreparedValue &value) {
    if (!m_doc)
        throw std::logic_error("setValue on an empty attribute handle");
    if (value.m_doc != m_doc)
        throw std::invalid_argument("setValue: the value was prepared by another document");
    const Place where = place();
    m_doc->setValue(m_element, where.valueBegin, where.valueLength,
                    where.quote == '"' ? value.m_inDoubleQuotes : value.m_inSingleQuotes);
    m_placeStamp = ~std::uint64_t(0);
}

} // namespace tessaly::xml
