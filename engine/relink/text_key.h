#pragma once

#include "engine/xml/document.h"

#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

/// The comparison key of a text: its NFC normalisation, so that canonically equivalent
/// spellings (a precomposed and a decomposed accented letter) compare equal. Text that is not
/// valid UTF-8 is its own key.
std::string textKey(std::string_view text);

} // namespace tessaly

namespace tessaly {

/// The longest text, as written, that the relink reads as an identifier, a format or a media
/// location. Real ones are a few dozen bytes, and no file system holds a path of more than a
/// few KiB; a longer text names nothing, and passing it by unread keeps the memory of a run
/// bounded by its document rather than by how often such a text would be copied.
inline constexpr std::size_t kLongestKey = 64 * 1024;

/// The decoded value of an attribute the relink reads, or nullopt when it is absent or longer
/// than kLongestKey as written or decoded.
std::optional<std::string> keyValue(const xml::Attribute &attribute);

/// The key of an attribute's value, or nullopt for a value longer than kLongestKey. Most values are
/// plain ASCII as written and are their own key, with nothing to decode or normalise; any other is
/// decoded and normalised into `scratch`, which the returned view then refers to.
std::optional<std::string_view> attributeKey(const xml::Attribute &attribute, std::string &scratch);

} // namespace tessaly
