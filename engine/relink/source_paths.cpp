#include "engine/relink/fcpxml_relinker.h"
#include "engine/relink/text_key.h"
#include "engine/xml/text.h"

#include <optional>

namespace tessaly {

namespace {

constexpr std::string_view kFilePrefix = "file://";

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::string> percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    if (!xml::isValidUtf8(out))
        return std::nullopt;
    return out;
}

bool isPathAllowed(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return std::string_view("!$&'()*+,-./:=@_~").find(static_cast<char>(c)) !=
           std::string_view::npos;
}

/// The last component of a path, ignoring trailing slashes.
std::string_view lastComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

/// Position of the extension's full stop in the last component, or npos. A name whose only
/// full stop is its first character (a hidden file such as ".mov") has no extension.
std::size_t extensionDot(std::string_view component) {
    const auto dot = component.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return std::string_view::npos;
    return dot;
}

/// `src` with every "file://" removed, wherever it stands.
std::string stripFilePrefixes(std::string_view src) {
    std::string stripped;
    stripped.reserve(src.size());
    std::size_t from = 0;
    for (auto at = src.find(kFilePrefix); at != std::string_view::npos;
         at = src.find(kFilePrefix, from)) {
        stripped.append(src.substr(from, at - from));
        from = at + kFilePrefix.size();
    }
    stripped.append(src.substr(from));
    return stripped;
}

/// The decoded path of an absolute file URL whose escapes decode, else nullopt. Such a source
/// is the one form that is safe to decode and encode again.
std::optional<std::string> decodedAbsoluteFileURL(std::string_view src) {
    if (src.substr(0, kFilePrefix.size()) != kFilePrefix)
        return std::nullopt;
    auto decoded = percentDecode(stripFilePrefixes(src));
    if (!decoded || decoded->empty() || decoded->front() != '/')
        return std::nullopt;
    return decoded;
}

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace

std::string FCPXMLRelinker::decodeSrc(std::string_view src) {
    std::string stripped = stripFilePrefixes(src);
    if (auto decoded = percentDecode(stripped))
        return std::move(*decoded);
    return stripped;
}

std::string FCPXMLRelinker::diskPath(std::string_view src) {
    // Final Cut Pro writes "file:///"; other tools write a host ("file://localhost/") or the
    // scheme in capitals. The host names this machine: the path is what follows it.
    if (src.size() < 5 || !xml::equalsIgnoringASCIICase(src.substr(0, 5), "file:"))
        return decodeSrc(src);
    std::string_view path = src.substr(5);
    if (path.substr(0, 2) == "//") {
        path.remove_prefix(2);
        const auto slash = path.find('/');
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash);
    }
    if (auto decoded = percentDecode(path))
        return std::move(*decoded);
    return std::string(path);
}

bool FCPXMLRelinker::namesLocalFile(std::string_view src) {
    // A scheme is a letter followed by letters, digits, "+", "-" or ".", up to the colon; a
    // relative reference cannot have a colon before its first slash.
    if (src.empty() || !isAsciiLetter(src.front()))
        return true;
    for (std::size_t i = 1; i < src.size(); ++i) {
        const char c = src[i];
        if (c == ':')
            return xml::equalsIgnoringASCIICase(src.substr(0, i), "file");
        if (!isAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.')
            return true;
    }
    return true;
}

std::string FCPXMLRelinker::brawSrc(std::string_view src) {
    if (auto path = decodedAbsoluteFileURL(src))
        return encodeSrc(brawPath(*path));
    // Decoding a relative reference and encoding it again would turn its first folder into a
    // host name, and broken escapes would be escaped again into another path: keep the text.
    return brawPath(src);
}

std::string FCPXMLRelinker::encodeSrc(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out(kFilePrefix);
    out.reserve(kFilePrefix.size() + path.size() + path.size() / 4);
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (isPathAllowed(c)) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0x0F]);
        }
    }
    return out;
}

FCPXMLRelinker::StemAndExtension FCPXMLRelinker::stemAndExtension(std::string_view path) {
    const std::string_view component = lastComponent(path);
    const auto dot = extensionDot(component);
    if (dot == std::string_view::npos)
        return {std::string(component), std::string()};
    return {std::string(component.substr(0, dot)), xml::lowerASCII(component.substr(dot + 1))};
}

std::string FCPXMLRelinker::brawPath(std::string_view proxyPath) {
    std::string_view trimmed = proxyPath;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.remove_suffix(1);
    const std::string_view component = lastComponent(trimmed);
    const auto dot = extensionDot(component);
    if (dot != std::string_view::npos)
        trimmed.remove_suffix(component.size() - dot);
    return std::string(trimmed) + ".braw";
}

std::map<std::string, std::string> FCPXMLRelinker::dictFrom(xml::Element element) {
    std::map<std::string, std::string> map;
    for (const auto &attribute : element.attributes()) {
        if (auto value = keyValue(attribute))
            map[std::string(attribute.name())] = std::move(*value);
    }
    return map;
}

} // namespace tessaly
