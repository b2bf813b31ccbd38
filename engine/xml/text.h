#pragma once

#include <string>
#include <string_view>

// Text helpers that every layer of the engine shares, so that each rule is written once.

namespace tessaly::xml {

/// True when `text` is well-formed UTF-8: no overlong form, no surrogate, nothing past U+10FFFF.
bool isValidUtf8(std::string_view text);

/// `text` with A to Z turned into a to z; every other byte stays as it is.
std::string lowerASCII(std::string_view text);

/// True when the two texts are equal once A to Z are turned into a to z.
bool equalsIgnoringASCIICase(std::string_view a, std::string_view b);

/// `text` between curly quotes, the way messages set a file or entity name apart: “text”.
std::string curlyQuoted(std::string_view text);

} // namespace tessaly::xml
