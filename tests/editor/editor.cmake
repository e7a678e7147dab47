# The editor window through the effect's record, in the headless backend.
if(TARGET ql_editor)
  ql_test(test_editor SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_editor.cpp LIBS ql_effect)
endif()
