# Floating-point set-up and regional settings: the small platform base the host layer needs.
add_library(ql_platform_base STATIC
  ${CMAKE_CURRENT_LIST_DIR}/FloatingPoint.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Regional.cpp)
target_include_directories(ql_platform_base PUBLIC ${PROJECT_SOURCE_DIR}/src)
ql_warnings(ql_platform_base)
