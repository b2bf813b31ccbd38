/* A stand-in for the application library with the same file name and entry export, loaded by
 * the tests in place of the real one. */

__attribute__((visibility("default"))) int __debug_main_executable_dylib_entry_point(int argc,
                                                                                     char **argv);

int __debug_main_executable_dylib_entry_point(int argc, char **argv) {
    (void)argv;
    return 40 + argc;
}
