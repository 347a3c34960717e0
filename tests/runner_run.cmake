# `quillfen run` end to end in real Chromium, through the built binary.
quillfen_test(runner_run_test SOURCES runner_run_test.cpp LABELS browser TIMEOUT 180)
target_compile_definitions(runner_run_test PRIVATE QUILLFEN_EXE="$<TARGET_FILE:quillfen>")
add_dependencies(runner_run_test quillfen)
