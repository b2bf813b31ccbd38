#pragma once

/* The library's one way in, shared by the C entry record and the C++ application. */

#ifdef __cplusplus
extern "C" {
#endif

/// Runs the whole application with the process's arguments; returns its exit status.
__attribute__((visibility("hidden"))) int tessaly_run_application(int argc, char **argv);

#ifdef __cplusplus
}
#endif
