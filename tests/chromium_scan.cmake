# Scans made the fast ways against the plain way, in real Chromium; its browser's
# profile goes where the leak check looks.
quillfen_test(chromium_scan_test SOURCES chromium_scan_test.cpp LIBS quillfen_runner LABELS browser WHOLE TIMEOUT 900)
set_tests_properties(chromium_scan_test PROPERTIES ENVIRONMENT "TMPDIR=${_chromium_test_tmp}")
set_property(TEST chromium_leak_test APPEND PROPERTY DEPENDS chromium_scan_test)
