# The editor window through the effect's record, in the headless backend.
if(TARGET ql_editor)
  ql_test(test_editor SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_editor.cpp LIBS ql_effect)
endif()

# The editor of the built library, opened and driven through the record as a host does.
if(TARGET Quantaloop)
  ql_test(test_editor_library SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_editor_library.cpp
          ${PROJECT_SOURCE_DIR}/tests/effect/PluginLibrary.cpp LIBS ql_testsupport)
  target_include_directories(test_editor_library PRIVATE ${PROJECT_SOURCE_DIR}/tests/effect)
  add_dependencies(test_editor_library Quantaloop)
endif()
