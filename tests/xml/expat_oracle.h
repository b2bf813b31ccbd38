#pragma once

#include <expat.h>

#include <optional>
#include <string>

namespace tessaly::xml::test {

/// What expat, with external entities and the external DTD left unread, makes of the bytes:
/// nothing when it accepts them, else the text of its error. A second opinion for the tests
/// only; the layer never uses expat.
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
