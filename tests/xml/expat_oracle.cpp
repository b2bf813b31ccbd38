#include "expat_oracle.h"

#include <expat.h>

namespace tessaly::xml::test {

ExpatVerdict expatVerdict(const std::string &bytes) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
    ExpatVerdict verdict{true, {}};
    if (XML_Parse(parser, bytes.data(), int(bytes.size()), XML_TRUE) != XML_STATUS_OK) {
        verdict.accepted = false;
        verdict.error = XML_ErrorString(XML_GetErrorCode(parser));
    }
    XML_ParserFree(parser);
    return verdict;
}

} // namespace tessaly::xml::test
