ql_bench(skin_paint SOURCES ${CMAKE_CURRENT_LIST_DIR}/skin_paint.cpp LIBS ql_skin)
