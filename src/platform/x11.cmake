# The X11 window backend of the Linux plug-in; libX11 is a system library, linked dynamically.
# libXext, for shared-memory transfers, is looked up at run time where the system has it.
if(NOT WIN32)
  find_package(X11 REQUIRED)
  add_library(ql_platform_x11 STATIC ${CMAKE_CURRENT_LIST_DIR}/BackendX11.cpp)
  target_link_libraries(ql_platform_x11 PUBLIC ql_platform X11::X11 ${CMAKE_DL_LIBS})
  ql_warnings(ql_platform_x11)
endif()
