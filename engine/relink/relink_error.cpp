#include "engine/relink/relink_error.h"

namespace tessaly {

namespace {

std::string describe(RelinkError::Case c, const std::string &stem, const std::string &extension) {
    switch (c) {
    case RelinkError::Case::duplicateStem:
        return "Duplicate ." + extension + " filename found: '" + stem +
               "'. All proxy filenames must be unique.";
    case RelinkError::Case::noRoot:
        return "Invalid FCPXML - no root element found.";
    case RelinkError::Case::noResources:
        return "Invalid FCPXML - no <resources> section found.";
    case RelinkError::Case::noBrawFound:
        return "No .braw asset found in this FCPXML.\n"
               "\n"
               "Please relink one proxy clip manually in FCP first:\n"
               "1. Right-click a proxy .mov clip in the browser\n"
               "2. Choose \"Relink Files\" and point it to its .braw file\n"
               "3. Re-export the FCPXML (File > Export XML)\n"
               "4. Run this script again on the new FCPXML";
    case RelinkError::Case::noMovFound:
        return "No .mov proxy assets found. Nothing to relink.";
    }
    return {};
}

} // namespace

RelinkError::RelinkError(Case c, std::string stem, std::string extension)
    : m_case(c), m_stem(std::move(stem)), m_extension(std::move(extension)),
      m_description(describe(m_case, m_stem, m_extension)) {}

RelinkError RelinkError::duplicateStem(std::string stem, std::string extension) {
    return RelinkError(Case::duplicateStem, std::move(stem), std::move(extension));
}

} // namespace tessaly
