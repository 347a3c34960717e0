# `quillfen run` and `scan` through --browser-endpoint, the browser options they share,
# and downloads, through the built binary; the leak check (chromium.cmake) runs after.
quillfen_test(runner_remote_test SOURCES runner_remote_test.cpp LIBS quillfen_chromium Boost::headers
              LABELS browser WHOLE TIMEOUT 600)
target_compile_definitions(runner_remote_test PRIVATE QUILLFEN_EXE="$<TARGET_FILE:quillfen>")
add_dependencies(runner_remote_test quillfen)
set_tests_properties(runner_remote_test PROPERTIES ENVIRONMENT "TMPDIR=${_chromium_test_tmp}")
