# The runner's parts that need no browser.
quillfen_test(runner_parts_test
  SOURCES runner_parts_test.cpp
          ${PROJECT_SOURCE_DIR}/runner/keys.cpp
          ${PROJECT_SOURCE_DIR}/runner/junit_report.cpp
          ${PROJECT_SOURCE_DIR}/runner/script_file.cpp
  LIBS quillfen_step_reader quillfen_core)
