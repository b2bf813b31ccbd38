# The relink of one document, replayed on its seeds: exports of every shape with proxies.
tessaly_add_fuzzer(relink_fuzzer
    LIBS tessaly_engine tessaly_xml
    REPLAY ${CMAKE_CURRENT_LIST_DIR}/relink/seeds
    REGRESSIONS ${CMAKE_CURRENT_LIST_DIR}/relink/regressions)
