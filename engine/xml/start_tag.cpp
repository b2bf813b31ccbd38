#include "engine/xml/start_tag.h"

#include "engine/xml/characters.h"

#include <cstring>
#include <stdexcept>

namespace tessaly::xml::start_tag {
namespace {

bool isSpace(char c) {
    return chars::isSpace(static_cast<unsigned char>(c));
}

// Names end at white space, '=', '/' or '>', none of which a Name may hold. A table makes the
// test one load per byte: relinking reads the names of every clip's attributes.
struct NameEnds {
    bool ends[256] = {};
    constexpr NameEnds() {
        for (unsigned char c : {' ', '\t', '\n', '\r', '=', '/', '>'})
            ends[c] = true;
    }
};
constexpr NameEnds kNameEnds;

std::size_t nameEnd(std::string_view tag, std::size_t p) {
    const char *s = tag.data();
    const std::size_t size = tag.size();
    while (p < size && !kNameEnds.ends[static_cast<unsigned char>(s[p])])
        ++p;
    return p;
}

} // namespace

std::string_view name(std::string_view tag) {
    return tag.substr(1, nameEnd(tag, 1) - 1);
}

AttributeReader::AttributeReader(std::string_view tag) : m_tag(tag), m_pos(nameEnd(tag, 1)) {}

bool AttributeReader::next(AttributeText &attribute) {
    // The parser checked the tag: Name S? '=' S? quote value quote, separated by white space.
    const char *tag = m_tag.data();
    std::size_t size = m_tag.size();
    std::size_t p = m_pos;
    while (p < size && isSpace(tag[p]))
        ++p;
    if (p >= size || tag[p] == '/' || tag[p] == '>')
        return false;
    std::size_t end = nameEnd(m_tag, p);
    attribute.name = std::string_view(tag + p, end - p);
    p = end;
    while (tag[p] != '"' && tag[p] != '\'')
        ++p;
    attribute.quote = tag[p];
    const void *close = std::memchr(tag + p + 1, attribute.quote, size - p - 1);
    std::size_t closeAt = std::size_t(static_cast<const char *>(close) - tag);
    attribute.value = std::string_view(tag + p + 1, closeAt - p - 1);
    m_pos = closeAt + 1;
    return true;
}

bool attributeAt(std::string_view tag, std::size_t index, AttributeText &attribute) {
    AttributeReader reader(tag);
    for (std::size_t i = 0; reader.next(attribute); ++i)
        if (i == index)
            return true;
    return false;
}

std::size_t nameBeginBefore(std::string_view tag, std::size_t valueBegin, std::size_t nameLength) {
    std::size_t at = valueBegin - 1;
    while (isSpace(tag[at - 1]))
        --at;
    --at;
    while (isSpace(tag[at - 1]))
        --at;
    return at - nameLength;
}

void checkValueCharacters(std::string_view value) {
    // Refuse what no attribute can carry rather than write a document that will not load.
    for (std::size_t p = 0; p < value.size();) {
        std::uint32_t cp;
        std::size_t length = chars::decodeUtf8(
            reinterpret_cast<const unsigned char *>(value.data() + p), value.size() - p, cp);
        if (length == 0 || !chars::isChar(cp))
            throw std::invalid_argument("the value holds a character XML cannot represent");
        p += length;
    }
}

std::string escapeValue(std::string_view value, char quote) {
    std::string out;
    out.reserve(value.size() + 8);
    for (char c : value) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '\t':
            out += "&#9;";
            break;
        case '\n':
            out += "&#10;";
            break;
        case '\r':
            out += "&#13;";
            break;
        case '"':
            out += quote == '"' ? "&quot;" : "\"";
            break;
        case '\'':
            out += quote == '\'' ? "&apos;" : "'";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string withoutEmptyMark(std::string_view tag) {
    std::string out(tag.substr(0, tag.size() - 2));
    out += '>';
    return out;
}

} // namespace tessaly::xml::start_tag
