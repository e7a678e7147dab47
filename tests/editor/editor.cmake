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
  # A desktop host has fontconfig loaded for itself. Without that, unloading the plug-in unloads
  # fontconfig too, and its process-wide caches (which only FcFini frees, and a plug-in must not
  # call that) show up as leaks of an unknown module.
  if(NOT WIN32)
    find_package(Fontconfig REQUIRED)
    target_link_libraries(test_editor_library PRIVATE -Wl,--no-as-needed Fontconfig::Fontconfig
                                                      -Wl,--as-needed)
  endif()
endif()
