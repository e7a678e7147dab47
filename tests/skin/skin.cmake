ql_test(test_skin_pictures
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_dib.cpp ${CMAKE_CURRENT_LIST_DIR}/test_compressor.cpp
          ${CMAKE_CURRENT_LIST_DIR}/test_imagelist.cpp
  LIBS ql_skin)
ql_test(test_skin_controls
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_controls.cpp
  LIBS ql_skin)
