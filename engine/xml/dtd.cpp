// The internal DTD subset: markup declarations are checked for syntax, entity declarations are
// recorded, and parameter entities between declarations are expanded. Nothing external is read.

#include "engine/xml/characters.h"
#include "engine/xml/parser.h"

#include <vector>

namespace tessaly::xml {

namespace {

bool isPubidChar(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case ' ':
    case '\r':
    case '\n':
    case '-':
    case '\'':
    case '(':
    case ')':
    case '+':
    case ',':
    case '.':
    case '/':
    case ':':
    case '=':
    case '?':
    case ';':
    case '!':
    case '*':
    case '#':
    case '@':
    case '$':
    case '_':
    case '%':
        return true;
    default:
        return false;
    }
}

} // namespace

std::size_t Parser::parseDeclarations(std::size_t p, bool internalSubset) {
    for (;;) {
        skipSpace(p);
        if (p >= m_n) {
            if (internalSubset)
                fail("unclosed internal subset", p);
            return p;
        }
        char c = m_s[p];
        if (c == ']') {
            if (!internalSubset)
                fail("']' in a parameter entity's declarations", p);
            return p;
        }
        if (c == '%') {
            p = parseParameterReference(p);
        } else if (startsWith(p, "<!--")) {
            p = scanComment(p);
        } else if (startsWith(p, "<?")) {
            p = scanProcessingInstruction(p);
        } else if (startsWith(p, "<!ELEMENT")) {
            p = parseElementDeclaration(p + 9);
        } else if (startsWith(p, "<!ATTLIST")) {
            p = parseAttlistDeclaration(p + 9);
        } else if (startsWith(p, "<!ENTITY")) {
            p = parseEntityDeclaration(p + 8);
        } else if (startsWith(p, "<!NOTATION")) {
            p = parseNotationDeclaration(p + 10);
        } else if (startsWith(p, "<![")) {
            fail("conditional section in the internal subset", p);
        } else {
            fail("invalid markup declaration", p);
        }
    }
}

std::size_t Parser::parseParameterReference(std::size_t p) {
    std::size_t nameEnd = scanName(p + 1, "parameter-entity name");
    if (m_s[nameEnd] != ';')
        fail("parameter-entity reference without ';'", nameEnd);
    m_parameterReferences = true;
    auto it = m_parameter.find(std::string_view(m_s + p + 1, nameEnd - p - 1));
    if (it == m_parameter.end()) {
        if (m_standalone)
            fail("undefined parameter entity", p);
        m_skippedParameterEntity = true;
        return nameEnd + 1;
    }
    Entity &entity = it->second;
    if (entity.external) {
        m_skippedParameterEntity = true;
        return nameEnd + 1;
    }
    if (entity.contentState == CheckState::Active)
        fail("recursive parameter-entity reference", p);
    entity.contentState = CheckState::Active;
    // A later declaration may not replace this entity's value while it is being read.
    const std::string text = entity.value;
    const ScanInput left = enterEntityText(text, p);
    parseDeclarations(0, false);
    leaveEntityText(left);
    entity.contentState = CheckState::Unchecked;
    return nameEnd + 1;
}

std::size_t Parser::parseElementDeclaration(std::size_t p) {
    requireSpace(p, "element type declaration");
    p = scanName(p, "element type name");
    requireSpace(p, "element type declaration");
    if (startsWith(p, "EMPTY"))
        p += 5;
    else if (startsWith(p, "ANY"))
        p += 3;
    else if (m_s[p] == '(')
        p = parseContentModel(p);
    else
        fail(m_s[p] == '%' ? "parameter-entity reference inside a markup declaration"
                           : "invalid content model",
             p);
    skipSpace(p);
    if (m_s[p] != '>')
        fail("malformed element type declaration", p);
    return p + 1;
}

std::size_t Parser::parseContentModel(std::size_t p) {
    ++p;
    skipSpace(p);
    if (startsWith(p, "#PCDATA")) {
        p += 7;
        bool names = false;
        for (;;) {
            skipSpace(p);
            if (m_s[p] == ')') {
                ++p;
                if (m_s[p] == '*')
                    return p + 1;
                if (names)
                    fail("mixed content with names must end with ')*'", p);
                return p;
            }
            if (m_s[p] != '|')
                fail("malformed mixed content declaration", p);
            ++p;
            skipSpace(p);
            p = scanName(p, "element name in mixed content");
            names = true;
        }
    }
    // Groups nest as deep as the document says, so track them without recursion.
    std::vector<char> separators{0};
    bool expectParticle = true;
    for (;;) {
        skipSpace(p);
        char c = m_s[p];
        if (expectParticle) {
            if (c == '(') {
                separators.push_back(0);
                ++p;
                continue;
            }
            p = scanName(p, "name in content model");
            if (m_s[p] == '?' || m_s[p] == '*' || m_s[p] == '+')
                ++p;
            expectParticle = false;
            continue;
        }
        if (c == '|' || c == ',') {
            char &separator = separators.back();
            if (separator != 0 && separator != c)
                fail("content model mixes ',' and '|'", p);
            separator = c;
            ++p;
            expectParticle = true;
            continue;
        }
        if (c != ')')
            fail("malformed content model", p);
        ++p;
        if (m_s[p] == '?' || m_s[p] == '*' || m_s[p] == '+')
            ++p;
        separators.pop_back();
        if (separators.empty())
            return p;
    }
}

std::size_t Parser::parseAttlistDeclaration(std::size_t p) {
    requireSpace(p, "attribute-list declaration");
    p = scanName(p, "element type name");
    for (;;) {
        bool space = skipSpace(p);
        if (m_s[p] == '>')
            return p + 1;
        if (!space)
            fail(m_s[p] == '%' ? "parameter-entity reference inside a markup declaration"
                               : "malformed attribute-list declaration",
                 p);
        p = scanName(p, "attribute name");
        requireSpace(p, "attribute-list declaration");
        p = parseAttributeType(p);
        requireSpace(p, "attribute-list declaration");
        if (startsWith(p, "#REQUIRED")) {
            p += 9;
            continue;
        }
        if (startsWith(p, "#IMPLIED")) {
            p += 8;
            continue;
        }
        if (startsWith(p, "#FIXED")) {
            p += 6;
            requireSpace(p, "attribute-list declaration");
        }
        char quote = m_s[p];
        if (quote != '"' && quote != '\'')
            fail("invalid attribute default", p);
        p = scanAttributeValue(p + 1, quote);
    }
}

std::size_t Parser::parseAttributeType(std::size_t p) {
    static constexpr std::string_view kTypes[] = {"CDATA",  "IDREFS",   "IDREF",    "ID",
                                                  "ENTITY", "ENTITIES", "NMTOKENS", "NMTOKEN"};
    if (m_s[p] != '(' && !startsWith(p, "NOTATION")) {
        std::size_t end = p;
        while (m_s[end] >= 'A' && m_s[end] <= 'Z')
            ++end;
        std::string_view word(m_s + p, end - p);
        for (std::string_view type : kTypes)
            if (word == type)
                return end;
        fail("invalid attribute type", p);
    }
    bool notation = m_s[p] != '(';
    if (notation) {
        p += 8;
        requireSpace(p, "notation type");
        if (m_s[p] != '(')
            fail("'(' expected in notation type", p);
    }
    ++p;
    for (;;) {
        skipSpace(p);
        p = notation ? scanName(p, "notation name") : scanNmtoken(p, "name token");
        skipSpace(p);
        if (m_s[p] == ')')
            return p + 1;
        if (m_s[p] != '|')
            fail("malformed enumerated type", p);
        ++p;
    }
}

std::size_t Parser::parseEntityDeclaration(std::size_t p) {
    requireSpace(p, "entity declaration");
    bool parameter = m_s[p] == '%';
    if (parameter) {
        ++p;
        requireSpace(p, "entity declaration");
    }
    std::size_t nameBegin = p;
    p = scanName(p, "entity name");
    std::string name(m_s + nameBegin, p - nameBegin);
    requireSpace(p, "entity declaration");
    Entity entity;
    if (m_s[p] == '"' || m_s[p] == '\'') {
        p = parseEntityValue(p, entity.value);
    } else if (startsWith(p, "SYSTEM") || startsWith(p, "PUBLIC")) {
        p = parseExternalId(p, false);
        entity.external = true;
        std::size_t before = p;
        bool space = skipSpace(p);
        if (startsWith(p, "NDATA")) {
            if (parameter)
                fail("parameter entity declared with NDATA", p);
            if (!space)
                fail("white space expected before NDATA", p);
            p += 5;
            requireSpace(p, "entity declaration");
            p = scanName(p, "notation name");
            entity.unparsed = true;
        } else {
            p = before;
        }
    } else {
        fail(m_s[p] == '%' ? "parameter-entity reference inside a markup declaration"
                           : "invalid entity definition",
             p);
    }
    skipSpace(p);
    if (m_s[p] != '>')
        fail("malformed entity declaration", p);
    // After a parameter entity that was not read, later declarations might have been overridden
    // by it, so they are not used, unless the document says it stands alone.
    if (!m_skippedParameterEntity || m_standalone)
        (parameter ? m_parameter : m_general).try_emplace(std::move(name), std::move(entity));
    return p + 1;
}

std::size_t Parser::parseEntityValue(std::size_t p, std::string &value) {
    char quote = m_s[p];
    std::size_t q = p + 1;
    for (;;) {
        std::size_t run = q;
        while (m_s[q] != quote && m_s[q] != '%' && m_s[q] != '&' && m_s[q] != '\r' &&
               (chars::kByteClass[static_cast<unsigned char>(m_s[q])] & chars::kAsciiChar))
            ++q;
        value.append(m_s + run, q - run);
        if (q >= m_n)
            fail("unclosed entity value", p);
        char c = m_s[q];
        if (c == quote)
            return q + 1;
        if (c == '%') {
            fail("parameter-entity reference inside a markup declaration", q);
        } else if (c == '\r') {
            // Line ends reach the replacement text normalised, as if the source had been.
            value += '\n';
            q += m_s[q + 1] == '\n' ? 2 : 1;
        } else if (c == '&') {
            if (m_s[q + 1] == '#') {
                std::uint32_t cp;
                q = scanCharReference(q, cp);
                chars::appendUtf8(value, cp);
            } else {
                std::size_t nameEnd = scanName(q + 1, "entity name");
                if (m_s[nameEnd] != ';')
                    fail("entity reference without ';'", nameEnd);
                value.append(m_s + q, nameEnd + 1 - q);
                q = nameEnd + 1;
            }
        } else {
            std::size_t length = checkChar(q);
            value.append(m_s + q, length);
            q += length;
        }
    }
}

std::size_t Parser::parseNotationDeclaration(std::size_t p) {
    requireSpace(p, "notation declaration");
    p = scanName(p, "notation name");
    requireSpace(p, "notation declaration");
    if (!startsWith(p, "SYSTEM") && !startsWith(p, "PUBLIC"))
        fail("external or public identifier expected", p);
    p = parseExternalId(p, true);
    skipSpace(p);
    if (m_s[p] != '>')
        fail("malformed notation declaration", p);
    return p + 1;
}

std::size_t Parser::parseExternalId(std::size_t p, bool systemLiteralOptional) {
    bool isPublic = startsWith(p, "PUBLIC");
    p += 6;
    requireSpace(p, "external identifier");
    if (isPublic) {
        p = parsePubidLiteral(p);
        std::size_t before = p;
        bool space = skipSpace(p);
        if (m_s[p] != '"' && m_s[p] != '\'') {
            if (!systemLiteralOptional)
                fail("system literal expected", p);
            return before;
        }
        if (!space)
            fail("white space expected before the system literal", p);
    }
    return scanQuoted(p, "system literal");
}

std::size_t Parser::parsePubidLiteral(std::size_t p) const {
    char quote = m_s[p];
    if (quote != '"' && quote != '\'')
        fail("public identifier expected", p);
    std::size_t q = p + 1;
    while (m_s[q] != quote) {
        if (q >= m_n)
            fail("unclosed public identifier", p);
        if (!isPubidChar(static_cast<unsigned char>(m_s[q])))
            fail("invalid character in public identifier", q);
        ++q;
    }
    return q + 1;
}

} // namespace tessaly::xml
