# Hostile hosts and concurrent use, through the built library's entry as a host loads it.
ql_test(test_hostile SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_hostile.cpp
        ${PROJECT_SOURCE_DIR}/tests/effect/PluginLibrary.cpp LIBS ql_host)
target_include_directories(test_hostile PRIVATE ${PROJECT_SOURCE_DIR}/tests/effect
                                                ${PROJECT_SOURCE_DIR}/tests/template)
add_dependencies(test_hostile Quantaloop)

if(NOT CMAKE_CROSSCOMPILING)
  find_package(Threads REQUIRED)
  ql_test(test_concurrency SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_concurrency.cpp
          ${PROJECT_SOURCE_DIR}/tests/effect/PluginLibrary.cpp LIBS ql_host Threads::Threads)
  target_include_directories(test_concurrency PRIVATE ${PROJECT_SOURCE_DIR}/tests/effect
                                                      ${PROJECT_SOURCE_DIR}/tests/template)
  add_dependencies(test_concurrency Quantaloop)
endif()
