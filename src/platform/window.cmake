# The component library, the window backends and text rendering.
add_library(ql_platform STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Controls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HeadlessBackend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowSchedule.cpp)
target_include_directories(ql_platform PUBLIC ${PROJECT_SOURCE_DIR}/src)
ql_warnings(ql_platform)
if(WIN32)
  target_sources(ql_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/TextGdi.cpp)
  target_link_libraries(ql_platform PUBLIC gdi32)
else()
  # System libraries of the desktop, linked dynamically.
  find_package(Freetype REQUIRED)
  find_package(Fontconfig REQUIRED)
  target_sources(ql_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/TextFreeType.cpp)
  target_link_libraries(ql_platform PUBLIC Freetype::Freetype Fontconfig::Fontconfig)
endif()
