# Warnings, sanitizers, the compiler launcher and the header roots shared by
# every target of the project. The configure flags of each build kind are set
# in CMakePresets.json; warnings become errors where a preset sets
# CMAKE_COMPILE_WARNING_AS_ERROR (every preset but release, so that a newer
# compiler on another machine cannot stop the operator's build).

if(MSVC)
  add_compile_options(/W4 /utf-8)
else()
  add_compile_options(-Wall -Wextra -Wpedantic)
endif()

if(CARDPUSH_SANITIZE)
  string(REPLACE ";" "," _sanitizers "${CARDPUSH_SANITIZE}")
  add_compile_options(-fsanitize=${_sanitizers} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_sanitizers})
endif()

# ccache, where installed, unless a launcher was chosen (an empty
# -DCMAKE_CXX_COMPILER_LAUNCHER= turns it off).
find_program(CARDPUSH_CCACHE ccache)
mark_as_advanced(CARDPUSH_CCACHE)
if(CARDPUSH_CCACHE AND NOT DEFINED CMAKE_CXX_COMPILER_LAUNCHER)
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CARDPUSH_CCACHE})
endif()

# Every layer's headers are included as "platform/...", "serial/..." and so
# on, and a layer sees only its own headers and those of the layers it links.
# Each layer has its own include root in the build tree, holding one link to
# its source folder; cardpush_layer_headers() gives a target that root. A
# lower layer including a higher one then fails to compile.
set(CARDPUSH_LAYER_ROOTS ${PROJECT_BINARY_DIR}/layers)

# cardpush_layer_headers(target layer): target exposes src/<layer>/ as "<layer>/".
function(cardpush_layer_headers target layer)
  set(folder ${PROJECT_SOURCE_DIR}/src/${layer})
  set(root ${CARDPUSH_LAYER_ROOTS}/${layer})
  set(link ${root}/${layer})
  if(IS_SYMLINK ${link})
    file(READ_SYMLINK ${link} current)
  endif()
  if(NOT IS_SYMLINK ${link} OR NOT current STREQUAL folder)
    file(REMOVE ${link})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${folder} ${link} SYMBOLIC RESULT failed)
    if(failed)
      # A Windows host may refuse symbolic links to unprivileged users: the
      # build then goes on with the shared source root, without the check.
      message(WARNING "No symbolic link for ${layer}'s headers (${failed}); "
                      "layer includes are not checked in this build")
      target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
      return()
    endif()
  endif()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
