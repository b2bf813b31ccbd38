#include "engine/relink/text_key.h"

#include <utf8proc.h>

#include <cstdlib>
#include <memory>

namespace tessaly {
namespace {

bool isAscii(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

std::string textKey(std::string_view text) {
    if (isAscii(text))
        return std::string(text);

    utf8proc_uint8_t *normalised = nullptr;
    const auto length =
        utf8proc_map(reinterpret_cast<const utf8proc_uint8_t *>(text.data()),
                     static_cast<utf8proc_ssize_t>(text.size()), &normalised,
                     static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
    if (length < 0)
        return std::string(text);
    std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owner(normalised, &std::free);
    return std::string(reinterpret_cast<const char *>(normalised),
                       static_cast<std::size_t>(length));
}

std::optional<std::string> keyValue(const xml::Attribute &attribute) {
    if (!attribute || attribute.rawValue().size() > kLongestKey)
        return std::nullopt;
    // References to entities can make a short text long.
    std::string value = attribute.stringValue();
    if (value.size() > kLongestKey)
        return std::nullopt;
    return value;
}

std::optional<std::string_view> attributeKey(const xml::Attribute &attribute,
                                             std::string &scratch) {
    // As written, a value without references or white space to normalise is its decoded self.
    const std::string_view raw = attribute.rawValue();
    if (raw.size() > kLongestKey)
        return std::nullopt;
    if (raw.find_first_of("&\t\n\r") == std::string_view::npos && isAscii(raw))
        return raw;
    std::optional<std::string> value = keyValue(attribute);
    if (!value)
        return std::nullopt;
    scratch = textKey(*value);
    return scratch;
}

} // namespace tessaly
