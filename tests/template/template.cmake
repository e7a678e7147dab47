ql_test(test_template SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_template.cpp LIBS ql_template)
target_include_directories(test_template PRIVATE ${CMAKE_CURRENT_LIST_DIR})
