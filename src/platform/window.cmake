# The component library, the window backends and text rendering.
add_library(ql_platform STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Backend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Controls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HeadlessBackend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextFreeType.cpp)
target_include_directories(ql_platform PUBLIC ${PROJECT_SOURCE_DIR}/src)
ql_warnings(ql_platform)
