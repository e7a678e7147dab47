# The X11 backend against a real server; the x11 stage of scripts/test runs them under Xvfb,
# elsewhere they skip themselves.
if(NOT WIN32)
  find_package(X11 REQUIRED)
  ql_test(ql_x11_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/X11BackendTest.cpp
    LIBS ql_platform_x11 X11::X11 X11::Xtst)
endif()
