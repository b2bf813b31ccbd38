// tessaly-bench-relink [--preview] IN [OUT]: one relink run through the engine's entry point,
// as the application makes it: a preview writes nothing, an apply writes OUT.
#include "engine/relink/fcpxml_relinker.h"

#include <cstdio>
#include <exception>
#include <string_view>

int main(int argc, char **argv) {
    bool preview = argc == 3 && std::string_view(argv[1]) == "--preview";
    if (!preview && argc != 3) {
        std::fprintf(stderr,
                     "usage: tessaly-bench-relink --preview IN | tessaly-bench-relink IN OUT\n");
        return 2;
    }
    try {
        auto result = preview ? tessaly::FCPXMLRelinker::process(argv[2], argv[2], true)
                              : tessaly::FCPXMLRelinker::process(argv[1], argv[2], false);
        std::printf("%zu changes\n", result.changes.size());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
