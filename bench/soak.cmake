# Long run at oversampling 64 with random automation; run by hand, not part of CI.
ql_bench(bench_soak SOURCES ${CMAKE_CURRENT_LIST_DIR}/soak.cpp LIBS ql_effect)
