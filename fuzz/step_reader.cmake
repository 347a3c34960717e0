# The step reader's parse, validate and helpers, and the runner's instruction reader over
# it, on arbitrary bytes. Run with
# fuzz/run.sh step_reader.
add_executable(step_reader_fuzz step_reader_fuzz.cpp)
target_link_libraries(step_reader_fuzz PRIVATE quillfen_runner)
target_link_options(step_reader_fuzz PRIVATE -fsanitize=fuzzer)
