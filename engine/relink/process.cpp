#include "engine/relink/fcpxml_relinker.h"

namespace tessaly {

RelinkResult FCPXMLRelinker::process(const std::filesystem::path &inputURL,
                                     const std::filesystem::path &outputURL, bool dryRun) {
    // The relink reads every id, ref and format: have the parser note where they stand.
    xml::Document doc = xml::Document::load(inputURL, {{"id", "ref", "format"}});
    RelinkResult result = relink(doc);
    if (!dryRun)
        doc.save(outputURL);
    return result;
}

} // namespace tessaly
