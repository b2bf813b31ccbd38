// Workflow code reaching past the engine's public headers into the XML layer's internals.
// The layers check expects this file never to compile.
#include "engine/xml/document_impl.h"

int main() { return 0; }
