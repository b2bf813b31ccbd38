#include "engine/xml/parser.h"

#include "engine/xml/characters.h"
#include "engine/xml/text.h"

#include <algorithm>
#include <cstring>

namespace tessaly::xml {

Parser::Parser(DocumentImpl &doc)
    : m_doc(doc), m_s(doc.source()), m_n(doc.sourceSize()), m_refOffset(std::string::npos),
      // Entity expansion beyond a few times the document's own size is an attack, not a document.
      m_expansionLimit((std::uint64_t(4) << 20) + 4 * std::uint64_t(doc.sourceSize())) {}

void Parser::fail(std::string reason, std::size_t at) const {
    throw ParseFailure{std::move(reason), m_inSource ? at : m_refOffset};
}

void Parser::sniffEncoding() const {
    auto b = [&](std::size_t i) { return i < m_n ? static_cast<unsigned char>(m_s[i]) : 0x100u; };
    const char *name = nullptr;
    if (b(0) == 0xFE && b(1) == 0xFF)
        name = "UTF-16";
    else if (b(0) == 0xFF && b(1) == 0xFE)
        name = b(2) == 0 && b(3) == 0 ? "UTF-32" : "UTF-16";
    else if (b(0) == 0 && b(1) == 0 && (b(2) == 0xFE || b(3) == '<'))
        name = "UTF-32";
    else if (b(0) == '<' && b(1) == 0 && b(2) == 0 && b(3) == 0)
        name = "UTF-32";
    else if ((b(0) == 0 && b(1) == '<' && b(2) == 0) || (b(0) == '<' && b(1) == 0 && b(3) == 0))
        name = "UTF-16";
    else if (b(0) == 0x4C && b(1) == 0x6F && b(2) == 0xA7 && b(3) == 0x94)
        name = "EBCDIC";
    if (name)
        throw EncodingRefusal{name, 0};
}

void Parser::addDocumentChild(NodeKind kind, std::size_t begin, std::size_t end) {
    std::uint32_t id = m_doc.nodes.add(kind, std::uint32_t(begin), std::uint32_t(end));
    m_doc.appendChild(DocumentImpl::kDocumentNode, id);
}

void Parser::parse() {
    sniffEncoding();
    std::size_t p = 0;
    if (startsWith(0, "\xEF\xBB\xBF")) {
        addDocumentChild(NodeKind::Prolog, 0, 3);
        p = 3;
    }
    if (startsWith(p, "<?xml") && chars::isSpace(static_cast<unsigned char>(m_s[p + 5]))) {
        std::size_t end = parseXmlDeclaration(p);
        addDocumentChild(NodeKind::Prolog, p, end);
        p = end;
    }
    bool seenDoctype = false;
    for (;;) {
        if (p >= m_n)
            break;
        std::size_t start = p;
        if (skipSpace(p)) {
            addDocumentChild(NodeKind::Text, start, p);
            continue;
        }
        if (m_s[p] != '<')
            fail(m_doc.root == kNoNode ? "text before the root element"
                                       : "text after the root element",
                 p);
        if (startsWith(p, "<!--")) {
            p = scanComment(p);
            addDocumentChild(NodeKind::Comment, start, p);
        } else if (m_s[p + 1] == '?') {
            p = scanProcessingInstruction(p);
            addDocumentChild(NodeKind::ProcessingInstruction, start, p);
        } else if (startsWith(p, "<!DOCTYPE")) {
            if (seenDoctype || m_doc.root != kNoNode)
                fail("misplaced document type declaration", p);
            seenDoctype = true;
            p = parseDoctype(p);
            addDocumentChild(NodeKind::Prolog, start, p);
        } else if (m_s[p + 1] == '!' || m_s[p + 1] == '/') {
            fail(m_s[p + 1] == '/' ? "end tag without start tag" : "invalid markup", p);
        } else {
            if (m_doc.root != kNoNode)
                fail("more than one root element", p);
            p = scanContent<true>(p);
        }
    }
    if (m_doc.root == kNoNode)
        fail("no root element", m_n);
    for (auto &[name, entity] : m_general)
        if (!entity.external)
            m_doc.entities.emplace(name, std::move(entity.value));
}

std::size_t Parser::parseXmlDeclaration(std::size_t p) {
    std::size_t start = p;
    p += 5;
    auto attribute = [&](std::string_view name, bool required) -> std::string_view {
        std::size_t before = p;
        bool space = skipSpace(p);
        if (!startsWith(p, name)) {
            if (required)
                fail("XML declaration without version", p);
            p = before;
            return {};
        }
        if (!space)
            fail("malformed XML declaration", p);
        p += name.size();
        skipSpace(p);
        if (m_s[p] != '=')
            fail("malformed XML declaration", p);
        ++p;
        skipSpace(p);
        std::size_t end = scanQuoted(p, "value in the XML declaration");
        std::string_view value(m_s + p + 1, end - p - 2);
        p = end;
        return value;
    };
    std::size_t versionAt = p;
    std::string_view version = attribute("version", true);
    bool versionOk = version.size() > 2 && version.substr(0, 2) == "1." &&
                     std::all_of(version.begin() + 2, version.end(),
                                 [](char c) { return c >= '0' && c <= '9'; });
    if (!versionOk)
        fail("unsupported XML version", versionAt);
    bool asciiOnly = false;
    std::size_t encodingAt = p;
    std::string_view encoding = attribute("encoding", false);
    if (encoding.data()) {
        bool nameOk = !encoding.empty() &&
                      ((encoding[0] | 0x20) >= 'a' && (encoding[0] | 0x20) <= 'z') &&
                      std::all_of(encoding.begin(), encoding.end(), [](char c) {
                          return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                 (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
                      });
        if (!nameOk)
            fail("invalid encoding name", encodingAt);
        if (equalsIgnoringASCIICase(encoding, "US-ASCII") ||
            equalsIgnoringASCIICase(encoding, "ASCII"))
            asciiOnly = true;
        else if (!equalsIgnoringASCIICase(encoding, "UTF-8"))
            throw EncodingRefusal{std::string(encoding), encodingAt};
    }
    std::size_t standaloneAt = p;
    std::string_view standalone = attribute("standalone", false);
    if (standalone.data()) {
        if (standalone != "yes" && standalone != "no")
            fail("standalone must be \"yes\" or \"no\"", standaloneAt);
        m_standalone = standalone == "yes";
    }
    skipSpace(p);
    if (!startsWith(p, "?>"))
        fail("malformed XML declaration", p < m_n ? p : start);
    if (asciiOnly) {
        for (std::size_t i = 0; i < m_n; ++i)
            if (static_cast<unsigned char>(m_s[i]) >= 0x80)
                fail("byte outside US-ASCII in a document declared as US-ASCII", i);
    }
    return p + 2;
}

std::size_t Parser::parseDoctype(std::size_t p) {
    m_hasDoctype = true;
    p += 9;
    requireSpace(p, "the document type declaration");
    p = scanName(p, "document type name");
    bool space = skipSpace(p);
    if (startsWith(p, "SYSTEM") || startsWith(p, "PUBLIC")) {
        if (!space)
            fail("white space expected in the document type declaration", p);
        p = parseExternalId(p, false);
        m_externalSubset = true;
        skipSpace(p);
    }
    if (m_s[p] == '[') {
        m_inDtd = true;
        p = parseDeclarations(p + 1, true);
        m_inDtd = false;
        ++p;
        skipSpace(p);
    }
    if (m_s[p] != '>')
        fail(p >= m_n ? "unclosed document type declaration"
                      : "malformed document type declaration",
             p);
    if (!m_pendingUndeclared.empty() && entitiesMustBeDeclared())
        fail("undefined entity " + curlyQuoted(m_pendingUndeclared), m_pendingUndeclaredAt);
    return p + 1;
}

} // namespace tessaly::xml
