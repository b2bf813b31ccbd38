/* A stand-in for the application library with the same file name, exports and entry record:
 * it says how it was called and answers 42, so a test can tell its result from the launcher's. */

#include <stdio.h>

__attribute__((visibility("hidden"))) int fake_application_entry(int argc, char **argv);

int fake_application_entry(int argc, char **argv) {
    printf("fake application: argc=%d argv0=%s\n", argc, argc > 0 ? argv[0] : "(none)");
    fflush(stdout);
    return 42;
}

__attribute__((visibility("default"), alias("fake_application_entry"))) int
__debug_main_executable_dylib_entry_point(int argc, char **argv);

__attribute__((visibility("default"), alias("fake_application_entry"))) int main(int argc,
                                                                                 char **argv);

__asm__(".pushsection __swift5_entry,\"a\",%progbits\n"
        ".balign 4\n"
        ".long fake_application_entry - .\n"
        ".long 1\n"
        ".popsection\n");
