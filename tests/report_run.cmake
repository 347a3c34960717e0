# The HTML report of a run with failures, opened in headless Chromium: its pictures, the
# outline on the element, the filter, no console errors, and page text kept as text in
# the report, JUnit and JSON.
quillfen_test(report_run_test SOURCES report_run_test.cpp LIBS quillfen_chromium LABELS browser WHOLE TIMEOUT 300)
target_compile_definitions(report_run_test PRIVATE QUILLFEN_EXE="$<TARGET_FILE:quillfen>")
add_dependencies(report_run_test quillfen)
