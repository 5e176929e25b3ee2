# CLI11 (argument parsing) and nlohmann-json (JSON lines), both header-only,
# from Debian's libcli11-dev and nlohmann-json3-dev: CardPush::CLI11 and
# CardPush::Json. A native build takes their CMake packages. The MinGW
# cross-build looks for packages and headers in its sysroot only, so it takes
# the same headers through a folder of its own that holds just those two
# (never /usr/include as a whole, which is the build machine's C library).
include_guard(GLOBAL)

if(CMAKE_CROSSCOMPILING)
  set(_cardpush_headers ${CMAKE_BINARY_DIR}/header-only)
  file(MAKE_DIRECTORY ${_cardpush_headers})
  foreach(_folder CLI nlohmann)
    if(NOT EXISTS /usr/include/${_folder})
      message(FATAL_ERROR "/usr/include/${_folder} is missing: run scripts/install-deps.sh")
    endif()
    file(CREATE_LINK /usr/include/${_folder} ${_cardpush_headers}/${_folder} SYMBOLIC)
  endforeach()
  foreach(_target CLI11 Json)
    add_library(CardPush::${_target} INTERFACE IMPORTED GLOBAL)
    target_include_directories(CardPush::${_target} SYSTEM INTERFACE ${_cardpush_headers})
  endforeach()
else()
  find_package(CLI11 2.1 CONFIG REQUIRED)
  find_package(nlohmann_json 3.11 CONFIG REQUIRED)
  add_library(CardPush::CLI11 INTERFACE IMPORTED GLOBAL)
  target_link_libraries(CardPush::CLI11 INTERFACE CLI11::CLI11)
  add_library(CardPush::Json INTERFACE IMPORTED GLOBAL)
  target_link_libraries(CardPush::Json INTERFACE nlohmann_json::nlohmann_json)
endif()
