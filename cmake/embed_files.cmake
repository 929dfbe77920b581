# Writes a C++ source holding the bytes of data files, so that the engine carries the
# same defaults as data/ and the two can never drift apart.
#   cmake -DOUTPUT=file.cpp -DNAMES="name1;name2" -DFILES="path1;path2" -P embed_files.cmake
# Each name becomes `extern const unsigned char name[]` and `extern const size_t name_SIZE`.
list(LENGTH NAMES count)
list(LENGTH FILES file_count)
if(NOT count EQUAL file_count)
  message(FATAL_ERROR "embed_files: NAMES and FILES differ in length")
endif()
set(text "// Generated at build time by cmake/embed_files.cmake; do not edit.\n#include <cstddef>\n")
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  list(GET NAMES ${i} name)
  list(GET FILES ${i} path)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # Lines of 16 bytes: no line grows as long as the file.
  string(REGEX REPLACE "((0x..,){16})" "\\1\n  " bytes "${bytes}")
  get_filename_component(file_name "${path}" NAME)
  string(APPEND text "\n// ${file_name}\nextern const unsigned char ${name}[] = {\n  ${bytes}0};\n"
         "extern const size_t ${name}_SIZE = ${size};\n")
endforeach()
# Rewritten only when the bytes change, so an unchanged file does not rebuild the library.
set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
