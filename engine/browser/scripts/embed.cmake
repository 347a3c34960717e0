# cmake -DOUT=header -DSCRIPTS="name=file.js|name=file.js|..." -P embed.cmake
# Writes a header that holds each page-side script as a C++ string constant `name`, so
# the scripts stay plain JavaScript files that can be read, checked and linted as such.
# Trailing white space of each file is dropped: the constant is the function text alone.
set(body "// Generated at build time from engine/browser/scripts/*.js. Edit the .js files.\n")
string(APPEND body "#pragma once\n\n#include <string_view>\n\nnamespace quillfen::embedded_scripts {\n\n")
string(REPLACE "|" ";" entries "${SCRIPTS}")
foreach(entry IN LISTS entries)
  string(REPLACE "=" ";" pair "${entry}")
  list(GET pair 0 name)
  list(GET pair 1 file)
  file(READ "${file}" content)
  string(REGEX REPLACE "[ \t\r\n]+$" "" content "${content}")
  string(FIND "${content}" ")quillfenjs\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${file} holds the raw-string delimiter )quillfenjs\"")
  endif()
  string(APPEND body "inline constexpr std::string_view ${name} = R\"quillfenjs(${content})quillfenjs\";\n\n")
endforeach()
string(APPEND body "}  // namespace quillfen::embedded_scripts\n")
file(WRITE "${OUT}.tmp" "${body}")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
