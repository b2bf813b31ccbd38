# The whole run on files in a temporary folder, replayed on the relink's seeds.
tessaly_add_fuzzer(run_fuzzer
    LIBS tessaly_engine tessaly_xml
    REPLAY ${CMAKE_CURRENT_LIST_DIR}/relink/seeds
    REGRESSIONS ${CMAKE_CURRENT_LIST_DIR}/run/regressions)
