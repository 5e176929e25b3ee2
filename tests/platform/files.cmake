# Files and folders on the real file system.
cardpush_add_test(platform_files_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/files_test.cpp
  LIBS cardpush_platform)
