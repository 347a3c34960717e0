# Parsing and validating instruction lines.
add_executable(step_reader_bench ${CMAKE_CURRENT_LIST_DIR}/step_reader_bench.cpp)
target_link_libraries(step_reader_bench PRIVATE quillfen_step_reader benchmark::benchmark)
