# The modulator kernel: plain C++ on arrays and coefficients, used by the effect, its tests and
# the benchmark.
add_library(ql_modulator STATIC
  ${CMAKE_CURRENT_LIST_DIR}/uModulator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uModulatorSse2.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uModulatorAvx2.cpp)
target_include_directories(ql_modulator PUBLIC ${PROJECT_SOURCE_DIR}/src)
ql_warnings(ql_modulator)
if(WIN32)
  # The Windows ABIs promise only 16-byte stack alignment and GCC does not realign for spilled
  # 256-bit registers there; unaligned moves make such spills safe.
  target_compile_options(ql_modulator PRIVATE -Wa,-muse-unaligned-vector-move)
endif()
