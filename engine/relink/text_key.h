#pragma once

#include <string>
#include <string_view>

namespace tessaly {

/// The comparison key of a text: its NFC normalisation, so that canonically equivalent
/// spellings (a precomposed and a decomposed accented letter) compare equal. Text that is not
/// valid UTF-8 is its own key.
std::string textKey(std::string_view text);

} // namespace tessaly
