# `quillfen run` stopped by a signal, and a browser killed in the middle of a run.
quillfen_test(run_lifecycle_test SOURCES run_lifecycle_test.cpp LABELS browser TIMEOUT 300)
target_compile_definitions(run_lifecycle_test PRIVATE QUILLFEN_EXE="$<TARGET_FILE:quillfen>")
add_dependencies(run_lifecycle_test quillfen)
