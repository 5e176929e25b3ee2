# Warnings and sanitizers shared by every target of the project.

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

# The project's own headers are included as "platform/...", "serial/..." etc.
set(CARDPUSH_SOURCE_ROOT ${CMAKE_SOURCE_DIR}/src)
