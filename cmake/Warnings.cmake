# Warnings every target of ours builds with; CI turns them into errors.
add_library(tessaly_warnings INTERFACE)
target_compile_options(tessaly_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow
    $<$<BOOL:${TESSALY_WERROR}>:-Werror>)
