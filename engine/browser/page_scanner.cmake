# The page scan and the package settings it reads. The page-side scripts live as
# JavaScript files in scripts/ and are embedded as string constants at build time.
set(_scanner_scripts
  tag_name data_attributes direct_text xpath
  previous_sibling_label parent_children_label cursor_pointer)
set(_scanner_script_args "")
set(_scanner_script_files "")
foreach(_script IN LISTS _scanner_scripts)
  set(_file ${CMAKE_CURRENT_SOURCE_DIR}/scripts/${_script}.js)
  list(APPEND _scanner_script_args "${_script}=${_file}")
  list(APPEND _scanner_script_files ${_file})
endforeach()
set(_scanner_scripts_header ${CMAKE_CURRENT_BINARY_DIR}/generated/engine/browser/scanner_scripts.hpp)
string(REPLACE ";" "|" _scanner_script_args "${_scanner_script_args}")
add_custom_command(
  OUTPUT ${_scanner_scripts_header}
  COMMAND ${CMAKE_COMMAND} -DOUT=${_scanner_scripts_header}
          "-DSCRIPTS=${_scanner_script_args}"
          -P ${CMAKE_CURRENT_SOURCE_DIR}/scripts/embed.cmake
  DEPENDS ${_scanner_script_files} ${CMAKE_CURRENT_SOURCE_DIR}/scripts/embed.cmake
  COMMENT "Embedding the page scanner's scripts"
  VERBATIM)

quillfen_module(page_scanner SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/page_scanner.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/settings.cpp
  ${_scanner_scripts_header})
target_include_directories(quillfen_page_scanner PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
