ql_test(ql_platform_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/RoutingTest.cpp
  LIBS ql_platform)
