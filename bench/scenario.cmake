# The scenario benchmark: a 16-step script run whole by the quillfen binary and by a
# Playwright peer (bench/peer/scenario.mjs), on generated pages; bench/scenario.sh runs it.
add_executable(quillfen_scenario_bench ${CMAKE_CURRENT_SOURCE_DIR}/scenario/scenario_bench.cpp)
target_include_directories(quillfen_scenario_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(quillfen_scenario_bench PRIVATE
  QUILLFEN_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  QUILLFEN_EXE="$<TARGET_FILE:quillfen>")
add_dependencies(quillfen_scenario_bench quillfen)
