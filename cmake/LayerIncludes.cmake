# tessaly_layer_includes(<target> FOLDERS <folder>... [PUBLIC_HEADERS <header>...])
#
# Gives a target an include path that reaches only what its layer may see, while every file keeps
# the usual spelling "engine/xml/document.h":
# - PRIVATE: its own folders (e.g. engine/relink), so its sources reach their own headers;
# - PUBLIC: the headers named here and nothing else, so a target that links it cannot include
#   its internals. Everything else a target sees comes from the public headers of what it links.
# Both are folders in the build tree holding symbolic links to the sources, never copies: an
# edit to a header is seen at once, and the compiler's messages name a path that opens the
# source. Tests, benchmarks and fuzz targets that test internals add the source root themselves.
function(tessaly_layer_includes target)
    cmake_parse_arguments(ARG "" "" "FOLDERS;PUBLIC_HEADERS" ${ARGN})
    set(private_root ${CMAKE_BINARY_DIR}/layers/${target}/private)
    set(public_root ${CMAKE_BINARY_DIR}/layers/${target}/public)

    foreach(folder IN LISTS ARG_FOLDERS)
        cmake_path(GET folder PARENT_PATH parent)
        file(MAKE_DIRECTORY ${private_root}/${parent})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${private_root}/${folder} SYMBOLIC)
    endforeach()

    # A header dropped from the list must stop being reachable without a clean build.
    file(GLOB_RECURSE published LIST_DIRECTORIES false RELATIVE ${public_root} ${public_root}/*)
    foreach(header IN LISTS published)
        if(NOT header IN_LIST ARG_PUBLIC_HEADERS)
            file(REMOVE ${public_root}/${header})
        endif()
    endforeach()
    foreach(header IN LISTS ARG_PUBLIC_HEADERS)
        if(NOT EXISTS ${CMAKE_SOURCE_DIR}/${header})
            message(FATAL_ERROR "${target}: public header ${header} does not exist")
        endif()
        cmake_path(GET header PARENT_PATH parent)
        file(MAKE_DIRECTORY ${public_root}/${parent})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${header} ${public_root}/${header} SYMBOLIC)
    endforeach()

    target_include_directories(${target} PRIVATE ${private_root})
    if(ARG_PUBLIC_HEADERS)
        target_include_directories(${target} PUBLIC ${public_root})
    endif()
endfunction()
