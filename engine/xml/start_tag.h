#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Reading and re-spelling start tags that the parser has already checked.

namespace tessaly::xml::start_tag {

/// One attribute as written in a start tag.
struct AttributeText {
    std::string_view name;
    std::string_view value; ///< between the quotes, as written
    char quote;
};

/// The bit of an attribute name in an element's 16-bit name summary. Lookups of a name whose
/// bit is clear skip the start tag entirely; a set bit may be another name's. The mix was
/// chosen on real exports so that `id`, `ref` and `format` rarely share a bit with the names
/// that stand beside them (offset, duration, name, value, lane...).
inline std::uint16_t nameBit(std::string_view name) {
    if (name.empty())
        return 1;
    const auto first = static_cast<unsigned char>(name.front());
    const auto second = static_cast<unsigned char>(name.size() > 1 ? name[1] : 0);
    const auto last = static_cast<unsigned char>(name.back());
    return std::uint16_t(1u << ((first * 5u + last * 8u + name.size() * 3u + second * 2u) & 15u));
}

/// The element name of a start tag.
std::string_view name(std::string_view tag);

/// Walks the attributes of a start tag in document order.
class AttributeReader {
public:
    explicit AttributeReader(std::string_view tag);
    /// Reads the next attribute; false after the last.
    bool next(AttributeText &attribute);

private:
    std::string_view m_tag;
    std::size_t m_pos;
};

/// The `index`th attribute, or false when there are fewer.
bool attributeAt(std::string_view tag, std::size_t index, AttributeText &attribute);

/// Where the name of the attribute whose value starts at `valueBegin` begins, given the name's
/// length: before a value stand the quote, optional space, '=' and optional space.
std::size_t nameBeginBefore(std::string_view tag, std::size_t valueBegin, std::size_t nameLength);

/// Throws std::invalid_argument for invalid UTF-8 or a character XML cannot carry.
void checkValueCharacters(std::string_view value);

/// The value escaped for an attribute delimited by `quote`.
std::string escapeValue(std::string_view value, char quote);

/// The tag of an empty-element form (`<a/>`) re-spelled as a start tag (`<a>`).
std::string withoutEmptyMark(std::string_view tag);

} // namespace tessaly::xml::start_tag
