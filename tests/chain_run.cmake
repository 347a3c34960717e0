# The resolution chain through the built binary: `quillfen run`, `scan` and `resolve`.
quillfen_test(chain_run_test SOURCES chain_run_test.cpp LABELS browser TIMEOUT 300)
target_compile_definitions(chain_run_test PRIVATE QUILLFEN_EXE="$<TARGET_FILE:quillfen>")
add_dependencies(chain_run_test quillfen)
