#include "engine/relink/fcpxml_relinker.h"

namespace tessaly {

RelinkResult FCPXMLRelinker::process(const std::filesystem::path &inputURL,
                                     const std::filesystem::path &outputURL, bool dryRun) {
    xml::Document doc = xml::Document::load(inputURL, loadOptions());
    RelinkResult result = relink(doc);
    if (!dryRun)
        doc.save(outputURL);
    return result;
}

xml::LoadOptions FCPXMLRelinker::loadOptions() {
    // The relink reads every id, ref and format: have the parser note where they stand. A
    // document in an encoding the parser refuses is refused in the application's name.
    return {{"id", "ref", "format"}, "Tessaly"};
}

} // namespace tessaly
