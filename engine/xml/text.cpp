#include "engine/xml/text.h"

#include "engine/xml/characters.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tessaly::xml {
namespace {

char lowerASCIIChar(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool isValidUtf8(std::string_view text) {
    const auto *bytes = reinterpret_cast<const unsigned char *>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t cp;
        const std::size_t length = chars::decodeUtf8(bytes + i, text.size() - i, cp);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::size_t decodeUtf8(std::string_view text, char32_t &codePoint) {
    std::uint32_t cp = 0;
    const std::size_t length =
        chars::decodeUtf8(reinterpret_cast<const unsigned char *>(text.data()), text.size(), cp);
    codePoint = cp;
    return length;
}

std::string systemErrorText(int error) {
    if (error == ENOSPC || error == EDQUOT || error == EFBIG)
        return "the disk is full";
    return std::strerror(error);
}

std::string lowerASCII(std::string_view text) {
    std::string lower(text);
    for (char &c : lower)
        c = lowerASCIIChar(c);
    return lower;
}

bool equalsIgnoringASCIICase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerASCIIChar(x) == lowerASCIIChar(y);
           });
}

std::string curlyQuoted(std::string_view text) {
    std::string out = "\u201C";
    out += text;
    out += "\u201D";
    return out;
}

} // namespace tessaly::xml
