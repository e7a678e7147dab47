# Test hosts for the plug-in in real hosts and across builds. The hosts themselves are run by
# the hosts, win64 and win32emu stages of scripts/test, not by CTest: each needs the output of
# another build or a host program outside this build. CTest runs only the check's own test.
set(QL_RECORDCHECK ${CMAKE_CURRENT_SOURCE_DIR}/RecordCheck.cpp)
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(QL_WINHOST win32host)
  else()
    set(QL_WINHOST win64host)
  endif()
  add_executable(${QL_WINHOST} ${CMAKE_CURRENT_SOURCE_DIR}/win32host.cpp
                 ${CMAKE_CURRENT_SOURCE_DIR}/win32host_editor.cpp
                 ${CMAKE_CURRENT_SOURCE_DIR}/win32host_pointer.cpp ${QL_RECORDCHECK})
  target_include_directories(${QL_WINHOST} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  ql_warnings(${QL_WINHOST})
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(QLHC_SNDFILE REQUIRED IMPORTED_TARGET sndfile)
  add_executable(ql-hostcheck ${CMAKE_CURRENT_SOURCE_DIR}/ql-hostcheck.cpp ${QL_RECORDCHECK})
  target_include_directories(ql-hostcheck PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(ql-hostcheck PRIVATE PkgConfig::QLHC_SNDFILE ${CMAKE_DL_LIBS})
  ql_warnings(ql-hostcheck)
  # The X server's view of the Windows editor check under wine.
  find_package(X11 REQUIRED)
  add_executable(wineditor-xgrab ${CMAKE_CURRENT_SOURCE_DIR}/wineditor-xgrab.cpp)
  target_link_libraries(wineditor-xgrab PRIVATE X11::X11)
  ql_warnings(wineditor-xgrab)
endif()

if(NOT CMAKE_CROSSCOMPILING)
  ql_test(test_recordcheck SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_recordcheck.cpp ${QL_RECORDCHECK})
  target_link_libraries(test_recordcheck PRIVATE ${CMAKE_DL_LIBS})
  if(TARGET FixturePluginGain)
    add_dependencies(test_recordcheck FixturePluginGain)
  endif()
endif()
