/* The C runtime must set up the process before anything of ours runs, so the process entry
 * stays the runtime's and `main` hands over at once. */

#include "launcher/launcher.h"

int main(int argc, char **argv) {
    return __debug_blank_executor_main(argc, argv);
}
