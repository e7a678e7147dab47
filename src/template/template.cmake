# The plug-in template: parameter and program model, host answers, processing adapters and the
# editor adapter.
add_library(ql_template STATIC ${CMAKE_CURRENT_LIST_DIR}/DVstTemplate.cpp)
target_include_directories(ql_template PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(ql_template PUBLIC ql_host)
ql_warnings(ql_template)
