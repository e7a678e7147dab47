# The editor window of the effect.
if(TARGET ql_artwork)
  add_library(ql_editor STATIC ${CMAKE_CURRENT_LIST_DIR}/uEditor.cpp)
  ql_warnings(ql_editor)
  target_include_directories(ql_editor PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(ql_editor PUBLIC ql_skin ql_artwork ql_template)
endif()
