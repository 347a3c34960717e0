# quillfen_module(NAME SOURCES ...): one engine module as its own shared library
# quillfen_NAME, linking engine/core and third-party libraries only.
function(quillfen_module name)
  cmake_parse_arguments(M "" "" "SOURCES;LIBS" ${ARGN})
  add_library(quillfen_${name} SHARED ${M_SOURCES})
  target_link_libraries(quillfen_${name} PUBLIC quillfen_core ${M_LIBS})
endfunction()

# quillfen_test(NAME SOURCES ... LIBS ... [LABELS ...] [WHOLE])
# A GoogleTest executable. Its cases are listed to ctest one by one, unless WHOLE is
# given: then the executable runs as one ctest test (for suites that share one browser).
function(quillfen_test name)
  cmake_parse_arguments(T "WHOLE" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE
    QUILLFEN_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    QUILLFEN_BINARY_DIR="${PROJECT_BINARY_DIR}")
  set(props TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if(T_WHOLE)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ${props})
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${props})
  endif()
endfunction()

# Includes every *.cmake file of the calling directory, in name order: each module (and
# each module's tests or benchmark) describes its own targets in a file named after it.
macro(quillfen_include_parts)
  file(GLOB _quillfen_parts CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cmake)
  list(SORT _quillfen_parts)
  foreach(_part IN LISTS _quillfen_parts)
    include(${_part})
  endforeach()
endmacro()
