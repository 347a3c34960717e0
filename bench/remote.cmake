# Whole `quillfen run` processes on the demo scripts: a browser each run launches against
# one already running, reached through --browser-endpoint.
add_executable(quillfen_remote_bench ${CMAKE_CURRENT_SOURCE_DIR}/remote_bench.cpp)
target_link_libraries(quillfen_remote_bench PRIVATE quillfen_chromium)
target_compile_definitions(quillfen_remote_bench PRIVATE QUILLFEN_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                           QUILLFEN_EXE="$<TARGET_FILE:quillfen>")
add_dependencies(quillfen_remote_bench quillfen)
