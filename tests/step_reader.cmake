quillfen_test(step_reader_test SOURCES step_reader_test.cpp LIBS quillfen_step_reader)

# The `parse` and `validate` commands, run through the built binary.
quillfen_test(parse_command_test SOURCES parse_command_test.cpp LIBS quillfen_core)
target_compile_definitions(parse_command_test PRIVATE QUILLFEN_EXE="$<TARGET_FILE:quillfen>")
add_dependencies(parse_command_test quillfen)
