# The editor's pictures, embedded in the library: assets/*.dibcmp (stored picture data packed
# by the skin's LZH compressor) become byte arrays of a generated source at configure time.
# Only CMake reads the files, so the cross builds need no tool of their own.
set(QL_ARTWORK_NAMES Trunc ErrorFeedback Dither OrvaneLogo)
set(QL_ARTWORK_GENERATED ${CMAKE_CURRENT_BINARY_DIR}/ArtworkData.inc)

# A missing blob (a fresh checkout never lacks them) leaves the library out, so that the
# packing tool can still be built to make them; adding them reconfigures through the folder.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/assets)
set(QL_ARTWORK_MISSING "")
foreach(name ${QL_ARTWORK_NAMES})
  if(NOT EXISTS ${PROJECT_SOURCE_DIR}/assets/${name}.dibcmp)
    list(APPEND QL_ARTWORK_MISSING ${name}.dibcmp)
  endif()
endforeach()
if(QL_ARTWORK_MISSING)
  message(WARNING "ql_artwork left out: assets lack ${QL_ARTWORK_MISSING} (scripts/render-assets)")
  return()
endif()

set(QL_ARTWORK_CODE "// Generated from assets/*.dibcmp by src/editor/artwork.cmake; do not edit.\n")
foreach(name ${QL_ARTWORK_NAMES})
  set(blob ${PROJECT_SOURCE_DIR}/assets/${name}.dibcmp)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${blob})
  file(READ ${blob} hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR bytes "${digits} / 2")
  # Sixteen bytes a line, each as 0xNN.
  string(REGEX REPLACE "([0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f])"
         "\\1\n" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  string(APPEND QL_ARTWORK_CODE
         "\nalignas(4) constexpr unsigned char k${name}[${bytes}] = {\n${hex}\n};\n")
endforeach()
# Rewritten only when the content changes, so that a reconfigure does not rebuild the library.
file(CONFIGURE OUTPUT ${QL_ARTWORK_GENERATED} CONTENT "${QL_ARTWORK_CODE}" @ONLY)

add_library(ql_artwork STATIC ${CMAKE_CURRENT_LIST_DIR}/Artwork.cpp)
ql_warnings(ql_artwork)
target_include_directories(ql_artwork PUBLIC ${PROJECT_SOURCE_DIR}/src
                           PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
