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

# What every plug-in format of the effect shares: a block's settings from the parameters' real
# values, and the note echo.
add_library(ql_processing STATIC ${CMAKE_CURRENT_LIST_DIR}/uProcessing.cpp)
target_include_directories(ql_processing PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(ql_processing PUBLIC ql_modulator)
ql_warnings(ql_processing)
