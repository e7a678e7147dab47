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
  # The library's editor renders text through fontconfig: as a desktop host does, keep it loaded
  # for the whole run, or unloading the plug-in takes fontconfig's process-wide caches along and
  # they show up as leaks of an unknown module.
  find_package(Fontconfig REQUIRED)
  target_link_libraries(test_concurrency PRIVATE -Wl,--no-as-needed Fontconfig::Fontconfig
                                                 -Wl,--as-needed)
endif()
