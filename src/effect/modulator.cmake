# The modulator kernel: plain C++ on arrays and coefficients, used by the effect, its tests and
# the benchmark.
add_library(ql_modulator STATIC
  ${CMAKE_CURRENT_LIST_DIR}/uModulator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uModulatorFast.cpp)
target_include_directories(ql_modulator PUBLIC ${PROJECT_SOURCE_DIR}/src)
ql_warnings(ql_modulator)
