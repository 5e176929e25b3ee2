# Files and folders on the real file system. The test speaks POSIX (modes,
# file size limits, UTF-8 names on disk); the Windows layer has its own test
# under tests/win32.
if(NOT WIN32)
  cardpush_add_test(platform_files_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/files_test.cpp
    LIBS cardpush_platform)
endif()
