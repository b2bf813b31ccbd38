// Decoding an attribute value the way XML 1.0 normalises it.
#include "engine/xml/characters.h"
#include "engine/xml/document_impl.h"

#include <vector>

namespace tessaly::xml {

std::string DocumentImpl::decodeAttributeValue(std::string_view raw) const {
    // Most values hold no reference and no white space to normalise.
    if (raw.find_first_of("\r\n\t&") == std::string_view::npos)
        return std::string(raw);
    std::string out;
    out.reserve(raw.size());
    // Entity texts are expanded with an explicit stack; the parser bounded their nesting.
    struct Frame {
        std::string_view text;
        std::size_t pos;
    };
    std::vector<Frame> stack{{raw, 0}};
    while (!stack.empty()) {
        Frame &frame = stack.back();
        if (frame.pos >= frame.text.size()) {
            stack.pop_back();
            continue;
        }
        std::string_view text = frame.text;
        std::size_t p = frame.pos;
        char c = text[p];
        if (c == '\r' && stack.size() == 1) {
            // A line end written in the value is one space; an entity's text holds only
            // characters from references there (its own line ends were normalised when it was
            // declared), and each of those is a space of its own.
            out += ' ';
            frame.pos = p + (p + 1 < text.size() && text[p + 1] == '\n' ? 2 : 1);
        } else if (c == '\r' || c == '\n' || c == '\t') {
            out += ' ';
            frame.pos = p + 1;
        } else if (c != '&') {
            std::size_t end = text.find_first_of("\r\n\t&", p);
            if (end == std::string_view::npos)
                end = text.size();
            out.append(text.substr(p, end - p));
            frame.pos = end;
        } else {
            std::size_t semicolon = text.find(';', p);
            std::string_view name = text.substr(p + 1, semicolon - p - 1);
            frame.pos = semicolon + 1;
            if (!name.empty() && name[0] == '#') {
                bool hex = name.size() > 1 && name[1] == 'x';
                std::uint32_t cp = std::uint32_t(
                    std::stoul(std::string(name.substr(hex ? 2 : 1)), nullptr, hex ? 16 : 10));
                chars::appendUtf8(out, cp);
            } else if (name == "lt") {
                out += '<';
            } else if (name == "gt") {
                out += '>';
            } else if (name == "amp") {
                out += '&';
            } else if (name == "apos") {
                out += '\'';
            } else if (name == "quot") {
                out += '"';
            } else if (auto it = entities.find(name); it != entities.end()) {
                stack.push_back(Frame{it->second, 0});
            } else {
                // Not declared where this layer can see it (an external DTD): keep the reference.
                out.append(text.substr(p, semicolon + 1 - p));
            }
        }
    }
    return out;
}

} // namespace tessaly::xml
