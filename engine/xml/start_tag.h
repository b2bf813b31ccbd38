#pragma once

#include <cstddef>
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

/// The value escaped for an attribute delimited by `quote`.
std::string escapeValue(std::string_view value, char quote);

/// The tag with the `index`th attribute's value replaced by `escapedValue`.
std::string withValue(std::string_view tag, std::size_t index, std::string_view escapedValue);

/// The tag of an empty-element form (`<a/>`) re-spelled as a start tag (`<a>`).
std::string withoutEmptyMark(std::string_view tag);

} // namespace tessaly::xml::start_tag
