#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text helpers that every layer of the engine shares, so that each rule is written once.

namespace tessaly::xml {

/// True when `text` is well-formed UTF-8: no overlong form, no surrogate, nothing past U+10FFFF.
bool isValidUtf8(std::string_view text);

/// The length of the well-formed UTF-8 sequence at the start of `text` (never empty), with the
/// code point it spells in `codePoint`; 0 when the first byte starts none.
std::size_t decodeUtf8(std::string_view text, char32_t &codePoint);

/// A failed system call's error as a user reads it: "the disk is full" for every way a disk or
/// a quota runs out (a write past the process's file-size limit too), else the system's text.
std::string systemErrorText(int error);

/// `text` with A to Z turned into a to z; every other byte stays as it is.
std::string lowerASCII(std::string_view text);

/// True when the two texts are equal once A to Z are turned into a to z.
bool equalsIgnoringASCIICase(std::string_view a, std::string_view b);

/// `text` between curly quotes, the way messages set a file or entity name apart: “text”.
std::string curlyQuoted(std::string_view text);

} // namespace tessaly::xml
