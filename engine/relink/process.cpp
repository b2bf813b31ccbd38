#include "engine/relink/fcpxml_relinker.h"

namespace tessaly {

RelinkResult FCPXMLRelinker::process(const std::filesystem::path &inputURL,
                                     const std::filesystem::path &outputURL, bool dryRun) {
    xml::Document doc = xml::Document::load(inputURL);
    RelinkResult result = relink(doc);
    if (!dryRun)
        doc.save(outputURL);
    return result;
}

} // namespace tessaly
