# The TodoMVC apps of tests/fixtures/todomvc, run through the built quillfen binary in
# real Chromium. An app is listed in QUILLFEN_TODOMVC_PASSING (comma-separated: vanillajs,
# backbone, react, vue) once its script passes every step; the false claims about the
# apps are checked in every app always.
set(QUILLFEN_TODOMVC_PASSING "vanillajs,backbone,react,vue")
quillfen_test(todomvc_run_test SOURCES todomvc_run_test.cpp LABELS browser TIMEOUT 300)
target_compile_definitions(todomvc_run_test PRIVATE
  QUILLFEN_EXE="$<TARGET_FILE:quillfen>"
  QUILLFEN_TODOMVC_PASSING="${QUILLFEN_TODOMVC_PASSING}")
add_dependencies(todomvc_run_test quillfen)
