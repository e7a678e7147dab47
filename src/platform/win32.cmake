# The Win32 window backend of the Windows plug-in.
if(WIN32)
  add_library(ql_platform_win32 STATIC ${CMAKE_CURRENT_LIST_DIR}/BackendWin32.cpp)
  target_link_libraries(ql_platform_win32 PUBLIC ql_platform user32 gdi32)
  ql_warnings(ql_platform_win32)
endif()
