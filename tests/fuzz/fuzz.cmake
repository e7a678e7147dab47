# The host-call fuzzer: built by clang with libFuzzer in its own build folder (QL_FUZZ=ON, with
# -fsanitize=fuzzer-no-link and the address and undefined-behaviour sanitizers on everything).
option(QL_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(QL_FUZZ)
  add_executable(fuzz_host ${CMAKE_CURRENT_LIST_DIR}/fuzz_host.cpp)
  ql_warnings(fuzz_host)
  target_link_libraries(fuzz_host PRIVATE ql_effect)
  target_link_options(fuzz_host PRIVATE -fsanitize=fuzzer)
endif()
