ql_test(host_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/DispatcherTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostRequestTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UtilsTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FloatingPointTest.cpp
  LIBS ql_host)

# Loaded by host_tests at run time, like a plug-in.
add_library(ql_host_fixture MODULE ${CMAKE_CURRENT_LIST_DIR}/LoadFixture.cpp)
set_target_properties(ql_host_fixture PROPERTIES PREFIX "")
target_link_libraries(ql_host_fixture PRIVATE ql_host)
ql_warnings(ql_host_fixture)
add_dependencies(host_tests ql_host_fixture)
