# cmake -D DIR=<folder> -D MODE=clear|check -P SanitizerReports.cmake
# clear: empties the folder the sanitizers write their reports to.
# check: fails, printing them, if any report was written since.
if(MODE STREQUAL "clear")
  file(REMOVE_RECURSE ${DIR})
  file(MAKE_DIRECTORY ${DIR})
elseif(MODE STREQUAL "check")
  file(GLOB reports ${DIR}/*)
  if(reports)
    foreach(report IN LISTS reports)
      file(READ ${report} text)
      message("---- ${report}\n${text}")
    endforeach()
    list(LENGTH reports count)
    message(FATAL_ERROR "${count} sanitizer report(s) in ${DIR}")
  endif()
else()
  message(FATAL_ERROR "MODE must be clear or check")
endif()
