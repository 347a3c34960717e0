quillfen_test(page_scanner_test SOURCES page_scanner_test.cpp LIBS quillfen_fake_page quillfen_page_scanner)

# The page-side scripts, run in node against a small DOM stand-in (when node is there),
# with the driver's one-pass path maker beside the scanner's path script.
find_program(QUILLFEN_NODE NAMES node nodejs)
if(QUILLFEN_NODE)
  add_test(NAME page_scanner_scripts
           COMMAND ${QUILLFEN_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/page_scanner_scripts_test.js
                   ${PROJECT_SOURCE_DIR}/engine/browser/scripts ${PROJECT_SOURCE_DIR}/chromium/js)
endif()
