// Window code reaching past the run into the relinker itself. The layers check expects this file
// never to compile.
#include "engine/relink/fcpxml_relinker.h"

int main() { return 0; }
