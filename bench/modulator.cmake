ql_bench(bench_modulator SOURCES ${CMAKE_CURRENT_LIST_DIR}/modulator.cpp LIBS ql_effect)
target_include_directories(bench_modulator PRIVATE ${PROJECT_SOURCE_DIR}/tests/effect)
