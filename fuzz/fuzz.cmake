# xml_load_fuzzer: with TESSALY_FUZZ (clang) a libFuzzer target; otherwise the same source is a
# replay program, and CTest runs it on its seeds and a few corpus documents.
if(TESSALY_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "TESSALY_FUZZ needs clang (use the fuzz preset)")
    endif()
    add_executable(xml_load_fuzzer ${CMAKE_CURRENT_LIST_DIR}/xml_load_fuzzer.cpp)
    target_link_options(xml_load_fuzzer PRIVATE -fsanitize=fuzzer)
else()
    add_executable(xml_load_fuzzer ${CMAKE_CURRENT_LIST_DIR}/xml_load_fuzzer.cpp
        ${CMAKE_CURRENT_LIST_DIR}/replay_main.cpp)
endif()
target_link_libraries(xml_load_fuzzer PRIVATE tessaly_xml tessaly_warnings)

if(TESSALY_BUILD_TESTS AND NOT TESSALY_FUZZ)
    set(_tessaly_fcpxml_corpus ${TESSALY_SHARED_DIR}/corpus/fcpxml)
    add_test(NAME xml_load_fuzzer_replay
        COMMAND xml_load_fuzzer
            ${CMAKE_CURRENT_LIST_DIR}/seeds
            ${_tessaly_fcpxml_corpus}/CommandPost__CommandPost__empty.fcpxml
            ${_tessaly_fcpxml_corpus}/TheAcharya__OpenFCPXMLKit__MulticamSample.fcpxml
            ${_tessaly_fcpxml_corpus}/TheAcharya__OpenFCPXMLKit__CaptionSample.fcpxml
            ${_tessaly_fcpxml_corpus}/orchetect__swift-fcpxml__CompoundClips.fcpxml
            ${_tessaly_fcpxml_corpus}/OpenTimelineIO__otio-fcpx-xml-adapter__fcpx_example.fcpxml
            ${_tessaly_fcpxml_corpus}/mifi__lossless-cut__FCPXML_1_9.fcpxml
            ${_tessaly_fcpxml_corpus}/latenitefilms__SpliceKit__Test_Library.fcpxmld/Info.fcpxml)
    set_tests_properties(xml_load_fuzzer_replay PROPERTIES TIMEOUT 300)

    # Inputs the fuzzer found faults with, kept so that a fixed fault stays fixed. While a fault
    # is open its test may be marked DISABLED, so that it is listed as not run instead of
    # failing everyone's build; the fix enables it again.
    add_test(NAME xml_load_fuzzer_regressions
        COMMAND xml_load_fuzzer ${CMAKE_CURRENT_LIST_DIR}/regressions)
    set_tests_properties(xml_load_fuzzer_regressions PROPERTIES TIMEOUT 300)
endif()
