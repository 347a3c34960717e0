# The double and right click, check and uncheck, and the checked, negated, title and
# address checks, run by `quillfen run` in real Chromium on a fixture page.
quillfen_test(words_run_test SOURCES words_run_test.cpp LABELS browser TIMEOUT 180)
target_compile_definitions(words_run_test PRIVATE QUILLFEN_EXE="$<TARGET_FILE:quillfen>")
add_dependencies(words_run_test quillfen)
