# Installs the build into a fresh PREFIX and checks the layout: korvant and
# every other program in bin/, each with its manual page in share/man/man1,
# and the Python package when it is built.
#   cmake -DBUILD=<build folder> -DPREFIX=<scratch folder> [-DPYTHON=<interpreter>
#         -DPYTHON_SITE=<its site directory under the prefix>] -P install.cmake
cmake_minimum_required(VERSION 3.20)
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()
if(NOT EXISTS ${PREFIX}/bin/korvant)
  message(FATAL_ERROR "korvant is not installed in ${PREFIX}/bin")
endif()
file(GLOB programs RELATIVE ${PREFIX}/bin ${PREFIX}/bin/*)
foreach(program ${programs})
  if(NOT EXISTS ${PREFIX}/share/man/man1/${program}.1)
    message(FATAL_ERROR "${program} is installed without share/man/man1/${program}.1")
  endif()
endforeach()
file(GLOB pages RELATIVE ${PREFIX}/share/man/man1 ${PREFIX}/share/man/man1/*)
foreach(page ${pages})
  string(REGEX REPLACE "\\.1$" "" program ${page})
  if(NOT program IN_LIST programs)
    message(FATAL_ERROR "share/man/man1/${page} is installed without its program")
  endif()
endforeach()
# The Python package, when built: in the interpreter's site directory under
# the prefix, importable from there, and its xarray backend found by name.
if(PYTHON)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env PYTHONPATH=${PREFIX}/${PYTHON_SITE} ${PYTHON} -c
            "import korvant, xarray.backends as b; assert korvant.__file__.startswith('${PREFIX}'); assert type(b.list_engines()['korvant']).__name__ == 'Backend'"
    WORKING_DIRECTORY ${PREFIX} RESULT_VARIABLE status ERROR_VARIABLE why)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the Python package is not installed in ${PREFIX}/${PYTHON_SITE}: ${why}")
  endif()
endif()
file(REMOVE_RECURSE ${PREFIX})
