# The timers, paint requests and transfer clipping shared by the headless and X11 backends.
ql_test(ql_window_schedule_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/WindowScheduleTest.cpp
        LIBS ql_platform)
