// tessaly-xml-roundtrip IN OUT: loads a document with the engine's XML layer and saves it
// unchanged; the output must equal the input byte for byte.
#include "engine/xml/document.h"

#include <cstdio>

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tessaly-xml-roundtrip IN OUT\n");
        return 2;
    }
    try {
        tessaly::xml::Document::load(argv[1]).save(argv[2]);
    } catch (const tessaly::xml::DocumentError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
