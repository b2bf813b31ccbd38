#include "engine/relink/fcpxml_relinker.h"

namespace tessaly {

xml::LoadOptions FCPXMLRelinker::loadOptions() {
    // The relink reads every id, ref and format: have the parser note where they stand. A
    // document in an encoding the parser refuses is refused in the application's name.
    return {{"id", "ref", "format"}, "Tessaly"};
}

} // namespace tessaly
