/* A stand-in for the application library with the same file name, entry export and entry
 * record, loaded by the tests in place of the real one. */

__attribute__((visibility("hidden"))) int fake_application_entry(int argc, char **argv);

int fake_application_entry(int argc, char **argv) {
    (void)argv;
    return 40 + argc;
}

__attribute__((visibility("default"), alias("fake_application_entry"))) int
__debug_main_executable_dylib_entry_point(int argc, char **argv);

__asm__(".pushsection __swift5_entry,\"a\",%progbits\n"
        ".balign 4\n"
        ".long fake_application_entry - .\n"
        ".long 1\n"
        ".popsection\n");
