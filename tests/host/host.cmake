ql_test(host_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/DispatcherTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostRequestTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UtilsTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FloatingPointTest.cpp
  LIBS ql_host)
