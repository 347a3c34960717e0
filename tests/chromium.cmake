# The browser layer: its floors without a browser, then the page and the scan in real
# Chromium (one browser for the suite, a fresh tab per test), browsers reached over a
# WebSocket, then a check that the browser suites left no process or profile behind.
quillfen_test(chromium_transport_test SOURCES chromium_transport_test.cpp LIBS quillfen_chromium)
quillfen_test(chromium_keys_test SOURCES chromium_keys_test.cpp LIBS quillfen_chromium)
# The WebSocket transport and endpoint errors against stub servers.
find_package(Boost 1.74 REQUIRED)
quillfen_test(chromium_websocket_test SOURCES chromium_websocket_test.cpp LIBS quillfen_chromium Boost::headers)

# The browser suites write their profiles into a directory of their own, which the leak
# check then inspects. Its path is short, so that the browser's sockets fit in profiles.
set(_chromium_test_tmp ${CMAKE_CURRENT_BINARY_DIR}/ct)
file(MAKE_DIRECTORY ${_chromium_test_tmp})
quillfen_test(chromium_browser_test SOURCES chromium_browser_test.cpp
              LIBS quillfen_chromium quillfen_page_scanner LABELS browser WHOLE TIMEOUT 600)
add_dependencies(chromium_browser_test quillfen)
set_tests_properties(chromium_browser_test PROPERTIES ENVIRONMENT "TMPDIR=${_chromium_test_tmp}")
# Browsers reached through --remote-debugging-port, contexts and downloads.
quillfen_test(chromium_remote_test SOURCES chromium_remote_test.cpp
              LIBS quillfen_chromium quillfen_page_scanner Boost::headers LABELS browser WHOLE TIMEOUT 600)
set_tests_properties(chromium_remote_test PROPERTIES ENVIRONMENT "TMPDIR=${_chromium_test_tmp}")
quillfen_test(chromium_leak_test SOURCES chromium_leak_test.cpp LABELS browser WHOLE)
set_tests_properties(chromium_leak_test PROPERTIES ENVIRONMENT "TMPDIR=${_chromium_test_tmp}"
                     DEPENDS "chromium_browser_test;chromium_remote_test;runner_remote_test")
