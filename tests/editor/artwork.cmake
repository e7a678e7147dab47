# The embedded pictures decode through the skin to the committed rasters. Comparing with the
# PNGs needs libpng, so that part runs in the native build only; the cross builds still check
# that every picture decodes with the sizes the layout expects.
if(TARGET ql_artwork AND TARGET ql_skin)
  ql_test(test_artwork SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_artwork.cpp
          LIBS ql_artwork ql_skin)
  if(NOT CMAKE_CROSSCOMPILING)
    find_package(PNG REQUIRED)
    target_link_libraries(test_artwork PRIVATE PNG::PNG)
    target_compile_definitions(test_artwork PRIVATE QL_ARTWORK_PNG=1
                               QL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  endif()
endif()
