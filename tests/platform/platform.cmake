ql_test(ql_platform_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/FormTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RoutingTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TextTest.cpp
  LIBS ql_platform)
