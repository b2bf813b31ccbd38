// tessaly-bench-pugixml IN OUT: pugixml's full-fidelity load and raw save, the speed reference.
#include <cstdio>
#include <pugixml.hpp>

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tessaly-bench-pugixml IN OUT\n");
        return 2;
    }
    pugi::xml_document doc;
    pugi::xml_parse_result result = doc.load_file(argv[1], pugi::parse_full);
    if (!result) {
        std::fprintf(stderr, "%s: %s at offset %td\n", argv[1], result.description(),
                     result.offset);
        return 1;
    }
    if (!doc.save_file(argv[2], "", pugi::format_raw)) {
        std::fprintf(stderr, "%s: cannot write\n", argv[2]);
        return 1;
    }
    return 0;
}
