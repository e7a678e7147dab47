ql_test(test_modulator SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_modulator.cpp LIBS ql_modulator)
