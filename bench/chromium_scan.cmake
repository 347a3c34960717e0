# The page scan in real Chromium, grouped answers against one round trip per question,
# and against Playwright as a peer (bench/peer/install.sh installs it from npm).
add_executable(quillfen_chromium_scan_bench ${CMAKE_CURRENT_SOURCE_DIR}/chromium_scan_bench.cpp)
target_link_libraries(quillfen_chromium_scan_bench PRIVATE quillfen_runner)
target_compile_definitions(quillfen_chromium_scan_bench PRIVATE QUILLFEN_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
