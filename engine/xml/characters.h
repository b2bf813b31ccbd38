#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Character classes of XML 1.0 (Fifth Edition) over UTF-8 bytes.

namespace tessaly::xml::chars {

/// Byte classes for the scanners' fast paths: a byte outside a class needs a closer look.
enum : std::uint8_t {
    kNameStart = 1,   ///< ASCII byte that may start a Name
    kName = 2,        ///< ASCII byte that may continue a Name
    kSpace = 4,       ///< one of the four white-space bytes
    kTextPlain = 8,   ///< ASCII Char other than '<', '&' and ']'
    kValuePlain = 16, ///< ASCII Char other than '<', '&' and the two quotes
    kAsciiChar = 32,  ///< any ASCII byte that matches Char
};

struct ByteClassTable {
    std::uint8_t v[256];
    constexpr ByteClassTable() : v() {
        for (unsigned c = 0; c < 256; ++c) {
            std::uint8_t k = 0;
            bool alpha = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
            if (alpha || c == '_' || c == ':')
                k |= kNameStart | kName;
            if ((c >= '0' && c <= '9') || c == '-' || c == '.')
                k |= kName;
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
                k |= kSpace;
            bool plain = c < 0x80 && (c >= 0x20 || c == '\t' || c == '\n' || c == '\r');
            if (plain)
                k |= kAsciiChar;
            if (plain && c != '<' && c != '&' && c != ']')
                k |= kTextPlain;
            if (plain && c != '<' && c != '&' && c != '"' && c != '\'')
                k |= kValuePlain;
            v[c] = k;
        }
    }
    constexpr std::uint8_t operator[](unsigned char c) const { return v[c]; }
};

/// The class bits of each byte value.
inline constexpr ByteClassTable kByteClass{};

inline bool isSpace(unsigned char c) {
    return kByteClass[c] & kSpace;
}

/// True when the code point matches the Char production.
inline bool isChar(std::uint32_t c) {
    return c >= 0x20
               ? (c <= 0xD7FF || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF))
               : (c == 0x9 || c == 0xA || c == 0xD);
}

/// True when the code point matches NameStartChar.
bool isNameStartChar(std::uint32_t c);
/// True when the code point matches NameChar.
bool isNameChar(std::uint32_t c);

/// Decodes one UTF-8 sequence at `p` (at most `n` bytes available); returns its length and sets
/// `cp`, or returns 0 for a malformed, overlong or surrogate sequence.
inline std::size_t decodeUtf8(const unsigned char *p, std::size_t n, std::uint32_t &cp) {
    unsigned char b = p[0];
    if (b < 0x80) {
        cp = b;
        return 1;
    }
    if (b < 0xC2)
        return 0;
    if (b < 0xE0) {
        if (n < 2 || (p[1] & 0xC0) != 0x80)
            return 0;
        cp = (std::uint32_t(b & 0x1F) << 6) | (p[1] & 0x3F);
        return 2;
    }
    if (b < 0xF0) {
        if (n < 3 || (p[1] & 0xC0) != 0x80 || (p[2] & 0xC0) != 0x80)
            return 0;
        cp = (std::uint32_t(b & 0x0F) << 12) | (std::uint32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
        if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))
            return 0;
        return 3;
    }
    if (b < 0xF5) {
        if (n < 4 || (p[1] & 0xC0) != 0x80 || (p[2] & 0xC0) != 0x80 || (p[3] & 0xC0) != 0x80)
            return 0;
        cp = (std::uint32_t(b & 0x07) << 18) | (std::uint32_t(p[1] & 0x3F) << 12) |
             (std::uint32_t(p[2] & 0x3F) << 6) | (p[3] & 0x3F);
        if (cp < 0x10000 || cp > 0x10FFFF)
            return 0;
        return 4;
    }
    return 0;
}

/// Appends the UTF-8 spelling of a code point.
void appendUtf8(std::string &out, std::uint32_t cp);

} // namespace tessaly::xml::chars
