# Renders every manual page in PAGES as man(1) does on a terminal, with all of
# groff's warnings on, and fails on any warning or error.
#   cmake -DGROFF=/usr/bin/groff -DPAGES=<source>/man -P man_pages.cmake
cmake_minimum_required(VERSION 3.20)
file(GLOB pages ${PAGES}/*.[1-9])
if(NOT pages)
  message(FATAL_ERROR "no manual pages in ${PAGES}")
endif()
set(failed "")
foreach(page ${pages})
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C
                          ${GROFF} -man -Tutf8 -ww -z ${page}
                  RESULT_VARIABLE status ERROR_VARIABLE warnings)
  if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
    message("${page}: status ${status}\n${warnings}")
    list(APPEND failed ${page})
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "manual pages with warnings: ${failed}")
endif()
