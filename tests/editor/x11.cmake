# The built plug-in's editor inside a real X server's window, as a Linux host opens it; the x11
# stage of scripts/test runs it under Xvfb, elsewhere it skips itself.
if(NOT WIN32 AND TARGET Quantaloop)
  find_package(X11 REQUIRED)
  ql_test(ql_x11_editor_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/X11EditorTest.cpp
          LIBS X11::X11 X11::Xtst ${CMAKE_DL_LIBS})
  add_dependencies(ql_x11_editor_tests Quantaloop)
  # Fontconfig stays loaded after the plug-in unloads, as in a desktop host, so that its
  # process-wide caches are not taken for leaks (see test_editor_library).
  find_package(Fontconfig REQUIRED)
  target_link_libraries(ql_x11_editor_tests PRIVATE -Wl,--no-as-needed Fontconfig::Fontconfig
                                                    -Wl,--as-needed)
endif()
