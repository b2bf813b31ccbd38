// The small scanners shared by the document, content and declaration parsers.

#include "engine/xml/characters.h"
#include "engine/xml/parser.h"
#include "engine/xml/text.h"

#include <cstring>

namespace tessaly::xml {

using chars::kByteClass;

void Parser::requireSpace(std::size_t &p, const char *what) const {
    if (!skipSpace(p)) {
        if (p < m_n && m_s[p] == '%')
            fail("parameter-entity reference inside a markup declaration", p);
        fail(std::string("white space expected in ") + what, p);
    }
}

std::size_t Parser::checkChar(std::size_t p) const {
    auto c = static_cast<unsigned char>(m_s[p]);
    if (p >= m_n)
        fail("unexpected end of document", p);
    if (c < 0x80) {
        if (kByteClass[c] & chars::kAsciiChar)
            return 1;
        fail("invalid character", p);
    }
    std::uint32_t cp;
    std::size_t length =
        chars::decodeUtf8(reinterpret_cast<const unsigned char *>(m_s + p), m_n - p, cp);
    if (length == 0)
        fail("invalid UTF-8 byte sequence", p);
    if (!chars::isChar(cp))
        fail("invalid character", p);
    return length;
}

std::size_t Parser::scanNameFull(std::size_t p, const char *what) const {
    auto c = static_cast<unsigned char>(m_s[p]);
    std::uint32_t cp = 0;
    if (c < 0x80) {
        if (p >= m_n || !(kByteClass[c] & chars::kNameStart))
            fail(std::string("invalid ") + what, p);
        ++p;
    } else {
        std::size_t length = checkChar(p);
        chars::decodeUtf8(reinterpret_cast<const unsigned char *>(m_s + p), m_n - p, cp);
        if (!chars::isNameStartChar(cp))
            fail(std::string("invalid ") + what, p);
        p += length;
    }
    for (;;) {
        while (kByteClass[static_cast<unsigned char>(m_s[p])] & chars::kName)
            ++p;
        if (static_cast<unsigned char>(m_s[p]) < 0x80 || p >= m_n)
            return p;
        std::size_t length = checkChar(p);
        chars::decodeUtf8(reinterpret_cast<const unsigned char *>(m_s + p), m_n - p, cp);
        if (!chars::isNameChar(cp))
            return p;
        p += length;
    }
}

std::size_t Parser::scanNmtoken(std::size_t p, const char *what) const {
    std::size_t start = p;
    std::uint32_t cp = 0;
    for (;;) {
        while (kByteClass[static_cast<unsigned char>(m_s[p])] & chars::kName)
            ++p;
        if (static_cast<unsigned char>(m_s[p]) < 0x80 || p >= m_n)
            break;
        std::size_t length = checkChar(p);
        chars::decodeUtf8(reinterpret_cast<const unsigned char *>(m_s + p), m_n - p, cp);
        if (!chars::isNameChar(cp))
            break;
        p += length;
    }
    if (p == start)
        fail(std::string("invalid ") + what, p);
    return p;
}

std::size_t Parser::scanComment(std::size_t p) const {
    std::size_t q = p + 4;
    for (;;) {
        while (m_s[q] != '-' &&
               (kByteClass[static_cast<unsigned char>(m_s[q])] & chars::kAsciiChar))
            ++q;
        if (q >= m_n)
            fail("unclosed comment", p);
        if (m_s[q] == '-') {
            if (m_s[q + 1] == '-') {
                if (m_s[q + 2] == '>')
                    return q + 3;
                fail("'--' inside a comment", q);
            }
            ++q;
            continue;
        }
        q += checkChar(q);
    }
}

std::size_t Parser::scanProcessingInstruction(std::size_t p) const {
    std::size_t target = p + 2;
    std::size_t q = scanName(target, "processing-instruction target");
    if (equalsIgnoringASCIICase(std::string_view(m_s + target, q - target), "xml"))
        fail(m_inSource && (p == 0 || (p == 3 && m_s[0] == '\xEF'))
                 ? "malformed XML declaration"
                 : "XML declaration not at the start of the document",
             p);
    if (m_s[q] == '?' && m_s[q + 1] == '>')
        return q + 2;
    if (!skipSpace(q))
        fail("invalid processing instruction", q);
    for (;;) {
        while (m_s[q] != '?' &&
               (kByteClass[static_cast<unsigned char>(m_s[q])] & chars::kAsciiChar))
            ++q;
        if (q >= m_n)
            fail("unclosed processing instruction", p);
        if (m_s[q] == '?') {
            if (m_s[q + 1] == '>')
                return q + 2;
            ++q;
            continue;
        }
        q += checkChar(q);
    }
}

std::size_t Parser::scanQuoted(std::size_t p, const char *what) const {
    char quote = m_s[p];
    if (quote != '"' && quote != '\'')
        fail(std::string("quoted ") + what + " expected", p);
    std::size_t q = p + 1;
    for (;;) {
        while (m_s[q] != quote &&
               (kByteClass[static_cast<unsigned char>(m_s[q])] & chars::kAsciiChar))
            ++q;
        if (q >= m_n)
            fail(std::string("unclosed ") + what, p);
        if (m_s[q] == quote)
            return q + 1;
        q += checkChar(q);
    }
}

} // namespace tessaly::xml
