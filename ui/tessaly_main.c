/* Starts the application from the build tree until the launcher takes over this job. */

int __debug_main_executable_dylib_entry_point(int argc, char **argv);

int main(int argc, char **argv) {
    return __debug_main_executable_dylib_entry_point(argc, argv);
}
