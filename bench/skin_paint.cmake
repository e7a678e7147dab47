ql_bench(skin_paint SOURCES ${CMAKE_CURRENT_LIST_DIR}/skin_paint.cpp LIBS ql_skin)
# The editor's real pictures, when the artwork library is part of the build.
if(TARGET ql_artwork)
  target_link_libraries(skin_paint PRIVATE ql_artwork)
  target_compile_definitions(skin_paint PRIVATE QL_BENCH_ARTWORK)
endif()
