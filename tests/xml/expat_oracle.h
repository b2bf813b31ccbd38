#pragma once

#include <expat.h>

#include <optional>
#include <string>

namespace tessaly::xml::test {

/// expat's error on the bytes, or nothing when it accepts them; external entities and the
/// external DTD are left unread. A second opinion for the tests; the layer never uses expat.
inline std::optional<std::string> expatError(const std::string &bytes) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
    std::optional<std::string> error;
    if (XML_Parse(parser, bytes.data(), int(bytes.size()), XML_TRUE) != XML_STATUS_OK)
        error = XML_ErrorString(XML_GetErrorCode(parser));
    XML_ParserFree(parser);
    return error;
}

} // namespace tessaly::xml::test
