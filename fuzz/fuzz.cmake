# The XML loader, replayed on its seeds and a few corpus documents.
set(_tessaly_fcpxml_corpus ${TESSALY_SHARED_DIR}/corpus/fcpxml)
tessaly_add_fuzzer(xml_load_fuzzer
    LIBS tessaly_xml
    REPLAY
        ${CMAKE_CURRENT_LIST_DIR}/seeds
        ${_tessaly_fcpxml_corpus}/CommandPost__CommandPost__empty.fcpxml
        ${_tessaly_fcpxml_corpus}/TheAcharya__OpenFCPXMLKit__MulticamSample.fcpxml
        ${_tessaly_fcpxml_corpus}/TheAcharya__OpenFCPXMLKit__CaptionSample.fcpxml
        ${_tessaly_fcpxml_corpus}/orchetect__swift-fcpxml__CompoundClips.fcpxml
        ${_tessaly_fcpxml_corpus}/OpenTimelineIO__otio-fcpx-xml-adapter__fcpx_example.fcpxml
        ${_tessaly_fcpxml_corpus}/mifi__lossless-cut__FCPXML_1_9.fcpxml
        ${_tessaly_fcpxml_corpus}/latenitefilms__SpliceKit__Test_Library.fcpxmld/Info.fcpxml
    REGRESSIONS ${CMAKE_CURRENT_LIST_DIR}/regressions)
