# Benchmarks and the synthetic document generator. Nothing here runs in CTest: speed is measured
# by running these programs, never by timed tests. Generated documents stay in the build folder.
find_package(benchmark REQUIRED)
find_package(EXPAT REQUIRED)
find_package(pugixml CONFIG QUIET)

set(TESSALY_BENCH_DATA_DIR ${CMAKE_BINARY_DIR}/bench-data)

add_library(tessaly_bench_support STATIC
    ${CMAKE_CURRENT_LIST_DIR}/fcpxml_generator.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bench_documents.cpp
    ${CMAKE_CURRENT_LIST_DIR}/child_process.cpp)
target_include_directories(tessaly_bench_support PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(tessaly_bench_support PRIVATE tessaly_warnings)
target_compile_definitions(tessaly_bench_support PUBLIC
    TESSALY_BENCH_DATA_DIR="${TESSALY_BENCH_DATA_DIR}"
    TESSALY_BENCH_SOURCE_DIR="${CMAKE_CURRENT_LIST_DIR}")

add_executable(tessaly-gen-fcpxml ${CMAKE_CURRENT_LIST_DIR}/gen_fcpxml_main.cpp)
target_link_libraries(tessaly-gen-fcpxml PRIVATE tessaly_bench_support tessaly_warnings)

add_executable(tessaly-bench-xml ${CMAKE_CURRENT_LIST_DIR}/xml_bench.cpp)
target_link_libraries(tessaly-bench-xml PRIVATE tessaly_bench_support tessaly_xml
    tessaly_engine benchmark::benchmark tessaly_warnings)

# The whole-process comparison and the programs it times.
add_executable(tessaly-bench-compare ${CMAKE_CURRENT_LIST_DIR}/bench_compare_main.cpp)
target_link_libraries(tessaly-bench-compare PRIVATE tessaly_bench_support tessaly_warnings)

add_executable(tessaly-xml-roundtrip ${CMAKE_CURRENT_LIST_DIR}/xml_roundtrip_main.cpp)
target_link_libraries(tessaly-xml-roundtrip PRIVATE tessaly_xml tessaly_warnings)

add_executable(tessaly-bench-copy ${CMAKE_CURRENT_LIST_DIR}/copy_file_main.c)
target_link_libraries(tessaly-bench-copy PRIVATE tessaly_warnings)

add_executable(tessaly-bench-expat ${CMAKE_CURRENT_LIST_DIR}/expat_parse_main.c)
target_link_libraries(tessaly-bench-expat PRIVATE EXPAT::EXPAT tessaly_warnings)

add_executable(tessaly-bench-relink ${CMAKE_CURRENT_LIST_DIR}/relink_main.cpp)
target_link_libraries(tessaly-bench-relink PRIVATE tessaly_engine tessaly_warnings)

set(_tessaly_compared tessaly-gen-fcpxml tessaly-xml-roundtrip tessaly-bench-copy tessaly-bench-expat
    tessaly-bench-relink)
if(TARGET pugixml::pugixml)
    add_executable(tessaly-bench-pugixml ${CMAKE_CURRENT_LIST_DIR}/pugixml_roundtrip_main.cpp)
    target_link_libraries(tessaly-bench-pugixml PRIVATE pugixml::pugixml tessaly_warnings)
    list(APPEND _tessaly_compared tessaly-bench-pugixml)
else()
    message(STATUS "pugixml not found: tessaly-bench-compare runs without it (scripts/install-deps adds it)")
endif()
if(TARGET tessaly-relink)
    list(APPEND _tessaly_compared tessaly-relink)
endif()
add_dependencies(tessaly-bench-compare ${_tessaly_compared})

# The table of the apply and the preview against a copy, and the window's preview it also times.
add_executable(tessaly-bench-table ${CMAKE_CURRENT_LIST_DIR}/bench_table_main.cpp)
target_link_libraries(tessaly-bench-table PRIVATE tessaly_bench_support tessaly_warnings)
add_dependencies(tessaly-bench-table tessaly-gen-fcpxml tessaly-bench-copy tessaly-bench-relink)
if(TARGET tessaly_workflow)
    add_executable(tessaly-bench-window-preview ${CMAKE_CURRENT_LIST_DIR}/window_preview_main.cpp)
    target_link_libraries(tessaly-bench-window-preview PRIVATE tessaly_workflow tessaly_warnings)
    add_dependencies(tessaly-bench-table tessaly-bench-window-preview)
endif()

add_executable(tessaly-bench-originals ${CMAKE_CURRENT_LIST_DIR}/originals_bench.cpp)
target_link_libraries(tessaly-bench-originals PRIVATE tessaly_bench_support tessaly_engine
    benchmark::benchmark tessaly_warnings)
