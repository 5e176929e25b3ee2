# libjpeg for the Windows executable: Debian 12's libjpeg-turbo, cross-built
# as a static library by scripts/mingw-libjpeg.sh into a prefix shared by
# every MinGW-w64 build folder (CARDPUSH_MINGW_DEPS_DIR, by default
# build/mingw-deps/ of the source tree). Fetching and building take under a
# minute, once; later configures find the prefix and do nothing.
#
#   include(MinGWJpeg)
#   cardpush_mingw_jpeg()
#   target_link_libraries(cardpush_win PRIVATE CardPush::MinGWJpeg)
#
# The headers come as system headers. jpeglib.h's boolean is an int, while
# the Windows headers make it an unsigned char: a source that decodes JPEG
# includes jpeglib.h without <windows.h>, or the two disagree (a compile
# error, or with HAVE_BOOLEAN defined, structures that no longer match the
# library's). The IJG's licence asks that the program's documentation say
# that it uses their work: the target's CARDPUSH_LICENSE_FILES property
# names the texts.
include_guard(GLOBAL)
cmake_path(SET _cardpush_mingw_jpeg_script NORMALIZE "${CMAKE_CURRENT_LIST_DIR}/../scripts/mingw-libjpeg.sh")
cmake_path(SET _cardpush_mingw_deps NORMALIZE "${CMAKE_CURRENT_LIST_DIR}/../build/mingw-deps")
set(CARDPUSH_MINGW_DEPS_DIR ${_cardpush_mingw_deps} CACHE PATH
  "Where the libraries cross-built for the Windows executable are kept")

# cardpush_mingw_jpeg(): the imported target CardPush::MinGWJpeg, built first
# if its prefix does not hold it.
function(cardpush_mingw_jpeg)
  if(TARGET CardPush::MinGWJpeg)
    return()
  endif()
  if(NOT WIN32 OR NOT CMAKE_HOST_UNIX)
    message(FATAL_ERROR "cardpush_mingw_jpeg(): for the MinGW-w64 cross build on Linux only")
  endif()
  set(prefix ${CARDPUSH_MINGW_DEPS_DIR}/libjpeg)
  find_program(CARDPUSH_BASH bash REQUIRED)
  mark_as_advanced(CARDPUSH_BASH)
  execute_process(COMMAND ${CARDPUSH_BASH} ${_cardpush_mingw_jpeg_script} ${prefix}
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "scripts/mingw-libjpeg.sh could not build libjpeg into ${prefix}")
  endif()

  add_library(CardPush::MinGWJpeg STATIC IMPORTED GLOBAL)
  set_target_properties(CardPush::MinGWJpeg PROPERTIES
    IMPORTED_LOCATION ${prefix}/lib/libjpeg.a
    INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include
    CARDPUSH_LICENSE_FILES "${prefix}/share/doc/LICENSE.md;${prefix}/share/doc/README.ijg")
  # A prefix removed, or a new recipe in the script, builds it again at the
  # next configure.
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${_cardpush_mingw_jpeg_script} ${prefix}/cardpush-recipe.txt)
endfunction()
