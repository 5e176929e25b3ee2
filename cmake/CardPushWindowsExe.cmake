# The Windows executable's build: a GUI program with a UTF-16 entry point,
# its resources (icon, manifest, version) and a test that it needs no DLL
# beside it. For the MinGW-w64 cross build (cmake/mingw-w64-x86_64.cmake),
# which links everything statically.
#
#   include(CardPushWindowsExe)
#   add_executable(cardpush_win WIN32 main.cpp ...)
#   cardpush_windows_gui(cardpush_win)
#   cardpush_windows_resources(cardpush_win DESCRIPTION "...")
#   cardpush_check_windows_imports(cardpush_win)
#
# Run as a script (cmake -D EXE=... -D OBJDUMP=... [-D ALLOW=a.dll;b.dll]
# -P CardPushWindowsExe.cmake) it is the test that the last function adds.

# The DLLs that every Windows from 7 on has in its system folder. An
# executable that imports any other one would not start on a bare system.
set(CARDPUSH_WINDOWS_SYSTEM_DLLS
  kernel32.dll user32.dll gdi32.dll comctl32.dll comdlg32.dll shell32.dll
  ole32.dll oleaut32.dll advapi32.dll msvcrt.dll shlwapi.dll uxtheme.dll
  version.dll winmm.dll imm32.dll setupapi.dll cfgmgr32.dll dwmapi.dll
  winspool.drv ws2_32.dll)

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  cmake_minimum_required(VERSION 3.25)
  if(NOT EXE OR NOT OBJDUMP)
    message(FATAL_ERROR "usage: cmake -D EXE=program.exe -D OBJDUMP=objdump [-D ALLOW=dlls] -P ${CMAKE_CURRENT_LIST_FILE}")
  endif()
  # objdump's headings are translated under another locale ("DLL Name:").
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C LANGUAGE= ${OBJDUMP} -p ${EXE}
    OUTPUT_VARIABLE headers RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${OBJDUMP} could not read ${EXE}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
  set(allowed ${CARDPUSH_WINDOWS_SYSTEM_DLLS} ${ALLOW})
  list(TRANSFORM allowed TOLOWER)
  set(foreign "")
  foreach(line IN LISTS imports)
    string(REGEX REPLACE "^DLL Name: *" "" dll "${line}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" name)
    message(STATUS "imports ${dll}")
    if(NOT name IN_LIST allowed)
      list(APPEND foreign ${dll})
    endif()
  endforeach()
  if(NOT imports)
    message(FATAL_ERROR "${EXE}: no imported DLL found in its headers")
  endif()
  if(foreign)
    message(FATAL_ERROR "${EXE} needs DLLs that Windows does not have: ${foreign}")
  endif()
  return()
endif()

# The functions read these in the scope they are called from: set for every
# folder that includes the module, not only for the first one.
cmake_path(SET CARDPUSH_WINDOWS_RESOURCE_DIR NORMALIZE "${CMAKE_CURRENT_LIST_DIR}/../resources/windows")
set(_cardpush_windows_exe_module ${CMAKE_CURRENT_LIST_FILE})
include_guard(GLOBAL)

# cardpush_windows_gui(target): a program of the GUI subsystem (no console:
# -mwindows) whose entry point is wWinMain with the UTF-16 command line
# (-municode), its own sources compiled with UNICODE and _UNICODE, so that
# the system's macros (IDC_ARROW, TEXT(), the A/W names) are the UTF-16 ones;
# the libraries it links keep their own flags. Links the common controls;
# the toolchain's default libraries (kernel32, user32, gdi32, winspool,
# shell32, ole32, oleaut32, uuid, comdlg32, advapi32) come anyway.
function(cardpush_windows_gui target)
  set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
  target_compile_definitions(${target} PRIVATE UNICODE _UNICODE)
  target_link_options(${target} PRIVATE -municode)
  target_link_libraries(${target} PRIVATE comctl32)
endfunction()

# cardpush_windows_resources(target [DESCRIPTION text] [PRODUCT name]
#                            [ICON file.ico] [RCDATA id file...])
# Builds the icon, the manifest (common controls 6, per-monitor DPI
# awareness, no elevation) and a version resource with the project's
# version into the target, from resources/windows/. DESCRIPTION is what
# Explorer and Task Manager show for the file (UTF-8; default: the project's
# name); PRODUCT the product name (default: the project's name); ICON
# defaults to resources/windows/cardpush.ico. RCDATA builds files into the
# executable as RT_RCDATA resources of the given numbers (the About picture,
# say), for FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_RCDATA).
function(cardpush_windows_resources target)
  cmake_parse_arguments(ARG "" "DESCRIPTION;PRODUCT;ICON" "RCDATA" ${ARGN})
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "cardpush_windows_resources(${target}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT ARG_DESCRIPTION)
    set(ARG_DESCRIPTION ${PROJECT_NAME})
  endif()
  if(NOT ARG_PRODUCT)
    set(ARG_PRODUCT ${PROJECT_NAME})
  endif()
  if(NOT ARG_ICON)
    set(ARG_ICON ${CARDPUSH_WINDOWS_RESOURCE_DIR}/cardpush.ico)
  endif()
  cmake_path(ABSOLUTE_PATH ARG_ICON NORMALIZE)

  # A Windows version has four numbers; the project's may have fewer.
  set(numbers "")
  foreach(part MAJOR MINOR PATCH TWEAK)
    if("${PROJECT_VERSION_${part}}" STREQUAL "")
      list(APPEND numbers 0)
    else()
      list(APPEND numbers ${PROJECT_VERSION_${part}})
    endif()
  endforeach()
  list(JOIN numbers "," CARDPUSH_RC_VERSION_COMMAS)
  list(JOIN numbers "." CARDPUSH_RC_VERSION_DOTS)
  set(CARDPUSH_RC_PRODUCT_VERSION ${PROJECT_VERSION})

  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  set(CARDPUSH_RC_INTERNAL_NAME ${name})
  set(CARDPUSH_RC_FILE_NAME ${name}${CMAKE_EXECUTABLE_SUFFIX})
  # Quotes are doubled in a resource script's strings; the manifest is XML.
  string(REPLACE "\"" "\"\"" CARDPUSH_RC_DESCRIPTION "${ARG_DESCRIPTION}")
  string(REPLACE "&" "&amp;" CARDPUSH_RC_PRODUCT "${ARG_PRODUCT}")
  string(REPLACE "<" "&lt;" CARDPUSH_RC_PRODUCT "${CARDPUSH_RC_PRODUCT}")
  foreach(text IN ITEMS "${CARDPUSH_RC_INTERNAL_NAME}" "${ARG_PRODUCT}")
    if(text MATCHES "[\"\\\n]")
      message(FATAL_ERROR "cardpush_windows_resources(${target}): no quotes, backslashes or line breaks in \"${text}\"")
    endif()
  endforeach()

  set(CARDPUSH_RC_DATA "")
  set(data_files "")
  while(ARG_RCDATA)
    list(POP_FRONT ARG_RCDATA id file)
    if(NOT id MATCHES "^[0-9]+$" OR NOT file)
      message(FATAL_ERROR "cardpush_windows_resources(${target}): RCDATA takes a number and a file")
    endif()
    cmake_path(ABSOLUTE_PATH file NORMALIZE)
    string(APPEND CARDPUSH_RC_DATA "${id} RCDATA \"${file}\"\n")
    list(APPEND data_files ${file})
  endwhile()

  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources)
  set(CARDPUSH_RC_ICON ${ARG_ICON})
  set(CARDPUSH_RC_MANIFEST ${dir}/${name}.manifest)
  configure_file(${CARDPUSH_WINDOWS_RESOURCE_DIR}/cardpush.manifest.in ${CARDPUSH_RC_MANIFEST} @ONLY)
  configure_file(${CARDPUSH_WINDOWS_RESOURCE_DIR}/cardpush.rc.in ${dir}/${name}.rc @ONLY)
  target_sources(${target} PRIVATE ${dir}/${name}.rc)
  # The resource compiler reports no dependencies: a new icon or manifest
  # rebuilds the resources all the same.
  set_source_files_properties(${dir}/${name}.rc TARGET_DIRECTORY ${target}
    PROPERTIES OBJECT_DEPENDS "${ARG_ICON};${CARDPUSH_RC_MANIFEST};${data_files}")
endfunction()

# cardpush_check_windows_imports(target [ALLOW dll...]): a test that the
# executable imports no DLL but the system's (CARDPUSH_WINDOWS_SYSTEM_DLLS and
# those given), so that it runs as one file copied to any Windows PC.
function(cardpush_check_windows_imports target)
  cmake_parse_arguments(ARG "" "" "ALLOW" ${ARGN})
  set(objdump ${CMAKE_OBJDUMP})
  if(NOT objdump)
    find_program(CARDPUSH_MINGW_OBJDUMP NAMES x86_64-w64-mingw32-objdump objdump REQUIRED)
    set(objdump ${CARDPUSH_MINGW_OBJDUMP})
  endif()
  add_test(NAME ${target}_imports
    COMMAND ${CMAKE_COMMAND} -D EXE=$<TARGET_FILE:${target}> -D OBJDUMP=${objdump}
            "-DALLOW=${ARG_ALLOW}" -P ${_cardpush_windows_exe_module})
  set_tests_properties(${target}_imports PROPERTIES LABELS "unit;wine")
endfunction()
