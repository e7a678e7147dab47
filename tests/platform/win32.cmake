# The Win32 backend in a window of a test host; runs under wine where it has a display.
if(WIN32)
  ql_test(ql_win32_backend_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/Win32BackendTest.cpp
    LIBS ql_platform_win32)
endif()
