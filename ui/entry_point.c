/* The library's exported entry point and the record that lets a loader find it without a
 * symbol lookup. Written in C: the entry is also exported as `main`, which C++ does not let a
 * program declare with C linkage or as an alias. */

#include "ui/entry_point.h"

__attribute__((visibility("hidden"))) int tessaly_library_entry(int argc, char **argv);

int tessaly_library_entry(int argc, char **argv) {
    return tessaly_run_application(argc, argv);
}

__attribute__((visibility("default"), alias("tessaly_library_entry"))) int
__debug_main_executable_dylib_entry_point(int argc, char **argv);

__attribute__((visibility("default"), alias("tessaly_library_entry"))) int main(int argc,
                                                                                char **argv);

/* Eight bytes: the entry's offset from the start of this section, then the flags word 1. The
 * offset is to the hidden name, which the static linker can resolve within the library. */
#if defined(__APPLE__)
__asm__(".section __TEXT,__swift5_entry,regular,no_dead_strip\n"
        ".p2align 2\n"
        ".long _tessaly_library_entry - .\n"
        ".long 1\n");
#elif defined(__ELF__)
__asm__(".pushsection __swift5_entry,\"a\",%progbits\n"
        ".balign 4\n"
        ".long tessaly_library_entry - .\n"
        ".long 1\n"
        ".popsection\n");
#endif
