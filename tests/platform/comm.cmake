# The device layer on real pseudo-terminals, and its events, waits and port
# list. The Windows layer is the system's own and is not tested here.
if(NOT WIN32)
  cardpush_add_test(comm_posix_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/comm_posix_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/comm_objects_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/posix_timeouts_test.cpp
    LIBS cardpush_platform)
endif()
