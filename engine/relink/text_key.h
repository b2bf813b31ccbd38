#pragma once

#include "engine/xml/document.h"

#include <string>
#include <string_view>

namespace tessaly {

/// The comparison key of a text: its NFC normalisation, so that canonically equivalent
/// spellings (a precomposed and a decomposed accented letter) compare equal. Text that is not
/// valid UTF-8 is its own key.
std::string textKey(std::string_view text);

} // namespace tessaly

namespace tessaly {

/// The key of an attribute's value. Most values are plain ASCII as written and are their own
/// key, with nothing to decode or normalise; any other is decoded and normalised into
/// `scratch`, which the returned view then refers to.
std::string_view attributeKey(const xml::Attribute &attribute, std::string &scratch);

} // namespace tessaly
