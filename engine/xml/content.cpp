// Element content: tags, character data, CDATA sections, comments and processing instructions.

#include "engine/xml/characters.h"
#include "engine/xml/parser.h"
#include "engine/xml/simd_scan.h"
#include "engine/xml/start_tag.h"
#include "engine/xml/text.h"

#include <cstring>
#include <string_view>

namespace tessaly::xml {

using chars::kByteClass;

namespace {

inline bool is(unsigned char c, std::uint8_t klass) {
    return kByteClass[c] & klass;
}

constexpr std::size_t kPairwiseLimit = 64;

} // namespace

template <bool Build> std::size_t Parser::scanContent(std::size_t p) {
    // The source's elements are tracked in m_open; an entity's text gets its own stack since its
    // elements must balance within it.
    std::vector<Open> local;
    std::vector<Open> &open = Build ? m_open : local;
    std::size_t base = open.size();
    // White space alone between two tags (indentation, about half the nodes of an export) gets
    // no node: a flag on what follows it says it is there, and the serialiser and the edits
    // read it from the source (see README.md, "Gaps").
    [[maybe_unused]] std::uint8_t gap = 0;
    for (;;) {
        if constexpr (Build)
            m_doc.sweep.at(p);
        std::size_t text = p;
        // Most character data is indentation: white space up to a tag needs no closer look.
        while (chars::isSpace(static_cast<unsigned char>(m_s[p])))
            ++p;
        const bool blank = m_s[p] == '<';
        if (!blank)
            p = scanCharData(p);
        if constexpr (Build) {
            gap = 0;
            if (p != text) {
                if (blank)
                    gap = kGapBefore;
                else
                    linkChild(open.back(), m_doc.nodes.add(NodeKind::Text, std::uint32_t(text),
                                                           std::uint32_t(p)));
            }
        }
        if (p >= m_n)
            break;
        std::size_t start = p;
        char next = m_s[p + 1];
        if (next == '/') {
            std::size_t nameEnd = scanName(p + 2, "element name");
            if (open.size() == base)
                fail("end tag without start tag", p);
            const Open &top = open.back();
            if (nameEnd - (p + 2) != top.nameLength ||
                std::memcmp(m_s + p + 2, m_s + top.nameBegin, top.nameLength) != 0)
                fail("mismatched tag", p + 2);
            p = nameEnd;
            skipSpace(p);
            if (m_s[p] != '>')
                fail(p >= m_n ? "unclosed end tag" : "invalid character in end tag", p);
            ++p;
            if constexpr (Build) {
                NodeRec &r = m_doc.rec(top.node);
                r.end = std::uint32_t(p);
                if (gap)
                    r.flags |= kGapAtEnd;
                // Children were linked forwards only; close the ring of previous-links.
                if (top.lastChild != kNoNode)
                    m_doc.rec(r.firstChild).prev = top.lastChild;
                open.pop_back();
                if (open.empty())
                    return p;
            } else {
                open.pop_back();
            }
            continue;
        }
        NodeKind kind;
        if (next == '!') {
            if (startsWith(p, "<!--")) {
                p = scanComment(p);
                kind = NodeKind::Comment;
            } else if (startsWith(p, "<![CDATA[")) {
                p = scanCData(p);
                kind = NodeKind::CData;
            } else {
                fail("invalid markup in content", p);
            }
        } else if (next == '?') {
            p = scanProcessingInstruction(p);
            kind = NodeKind::ProcessingInstruction;
        } else {
            std::size_t nameEnd;
            bool empty;
            p = scanStartTag(p, nameEnd, empty);
            std::uint32_t id = 0;
            if constexpr (Build) {
                id = m_doc.nodes.add(NodeKind::Element, std::uint32_t(start), std::uint32_t(p));
                NodeRec &r = m_doc.rec(id);
                r.tagLen = std::uint32_t(p - start);
                r.flags = gap;
                r.names = m_tagNames;
                for (NotedAttribute &noted : m_noted) {
                    noted.entry.element = id;
                    AttributeIndex::Entry &entry =
                        m_doc.attributeIndex.entries(noted.slot).emplace_back(noted.entry);
                    // The entry stays where it is while its deque grows; its text comes later.
                    if (entry.valueLength != AttributeIndex::kLarge)
                        m_doc.attributeIndex.texts().add(
                            m_s[entry.valueAt - 1],
                            std::string_view(m_s + entry.valueAt, entry.valueLength), entry.text);
                }
                if (open.empty()) {
                    m_doc.root = id;
                    m_doc.appendChild(DocumentImpl::kDocumentNode, id);
                } else {
                    linkChild(open.back(), id);
                }
                if (empty) {
                    r.flags |= kEmptyForm;
                    if (open.empty())
                        return p;
                }
            }
            if (!empty)
                open.push_back(Open{id, std::uint32_t(start + 1),
                                    std::uint32_t(nameEnd - start - 1), kNoNode});
            continue;
        }
        if constexpr (Build) {
            const std::uint32_t id = m_doc.nodes.add(kind, std::uint32_t(start), std::uint32_t(p));
            m_doc.rec(id).flags = gap;
            linkChild(open.back(), id);
        }
    }
    if (open.size() != base) {
        if constexpr (Build)
            fail("unclosed element " + curlyQuoted(std::string_view(m_s + open.back().nameBegin,
                                                                    open.back().nameLength)),
                 m_n);
        fail("elements in an entity's replacement text do not balance", p);
    }
    return p;
}

template std::size_t Parser::scanContent<true>(std::size_t);
template std::size_t Parser::scanContent<false>(std::size_t);

std::size_t Parser::scanCharData(std::size_t p) {
    const char *s = m_s;
    for (;;) {
        p = simd::skipText(s, p, m_n);
        while (is(static_cast<unsigned char>(s[p]), chars::kTextPlain))
            ++p;
        if (p >= m_n)
            return p;
        char c = s[p];
        if (c == '<')
            return p;
        if (c == '&') {
            p = scanReference(p, Context::Content);
        } else if (c == ']') {
            if (s[p + 1] == ']' && s[p + 2] == '>')
                fail("']]>' in character data", p);
            ++p;
        } else {
            p += checkChar(p);
        }
    }
}

std::size_t Parser::scanStartTag(std::size_t p, std::size_t &nameEnd, bool &empty) {
    nameEnd = scanName(p + 1, "element name");
    std::size_t q = nameEnd;
    m_attributeNames.clear();
    m_tagNames = 0;
    m_noted.clear();
    const std::uint16_t notedBits = m_doc.attributeIndex.bits();
    std::uint32_t ordinal = 0;
    for (;;) {
        bool space = skipSpace(q);
        char c = m_s[q];
        if (c == '>') {
            empty = false;
            return q + 1;
        }
        if (c == '/') {
            if (m_s[q + 1] != '>')
                fail("'/' not followed by '>' in start tag", q);
            empty = true;
            return q + 2;
        }
        if (q >= m_n)
            fail("unclosed start tag", p);
        if (!space)
            fail("invalid character in start tag", q);
        std::size_t name = q;
        q = scanName(q, "attribute name");
        std::uint32_t length = std::uint32_t(q - name);
        skipSpace(q);
        if (m_s[q] != '=')
            fail("'=' expected after attribute name", q);
        ++q;
        skipSpace(q);
        char quote = m_s[q];
        if (quote != '"' && quote != '\'')
            fail("attribute value must be quoted", q);
        const std::size_t value = q + 1;
        q = scanAttributeValue(value, quote);
        std::string_view view(m_s + name, length);
        const std::uint16_t bit = start_tag::nameBit(view);
        m_tagNames |= bit;
        if (bit & notedBits) {
            if (std::size_t slot = m_doc.attributeIndex.slotOf(view); slot != AttributeIndex::npos)
                m_noted.push_back({slot,
                                   {0, std::uint32_t(value), AttributeIndex::small(ordinal),
                                    AttributeIndex::small(q - 1 - value)}});
        }
        ++ordinal;
        if (m_attributeNames.size() < kPairwiseLimit) {
            for (auto [other, otherLength] : m_attributeNames)
                if (otherLength == length && std::memcmp(m_s + other, m_s + name, length) == 0)
                    fail("duplicate attribute", name);
            m_attributeNames.emplace_back(std::uint32_t(name), length);
            // A start tag with thousands of attributes would make the pairwise check quadratic.
            if (m_attributeNames.size() == kPairwiseLimit) {
                m_attributeSet.clear();
                for (auto [other, otherLength] : m_attributeNames)
                    m_attributeSet.emplace(m_s + other, otherLength);
            }
        } else if (!m_attributeSet.emplace(view).second) {
            fail("duplicate attribute", name);
        }
    }
}

std::size_t Parser::scanAttributeValue(std::size_t p, char quote) {
    const char *s = m_s;
    for (;;) {
        p = simd::skipValue(s, p, m_n, quote);
        while (is(static_cast<unsigned char>(s[p]), chars::kValuePlain))
            ++p;
        char c = s[p];
        if (c == quote)
            return p + 1;
        if (p >= m_n)
            fail("unclosed attribute value", p);
        if (c == '"' || c == '\'')
            ++p;
        else if (c == '<')
            fail("'<' in attribute value", p);
        else if (c == '&')
            p = scanReference(p, Context::Attribute);
        else
            p += checkChar(p);
    }
}

std::size_t Parser::scanCData(std::size_t p) const {
    std::size_t q = p + 9;
    for (;;) {
        while (m_s[q] != ']' && is(static_cast<unsigned char>(m_s[q]), chars::kAsciiChar))
            ++q;
        if (q >= m_n)
            fail("unclosed CDATA section", p);
        if (m_s[q] == ']') {
            if (m_s[q + 1] == ']' && m_s[q + 2] == '>')
                return q + 3;
            ++q;
            continue;
        }
        q += checkChar(q);
    }
}

} // namespace tessaly::xml
