# Helpers for the cross build's tests.
#
# zorvet_gtest(NAME SOURCES... [LIBS ...] [PORT]) builds a GoogleTest program and
# runs it under Wine through CMAKE_CROSSCOMPILING_EMULATOR. PORT marks tests that
# use the service's fixed port 63872 (they never run at the same time). NOTEST
# builds the program only (a Python driver runs it inside a test bed).
#
# zorvet_pytest(NAME SCRIPT [PORT] [DISPLAY]) runs a Python driver (tests/py) that
# starts real processes; it gets the build dir and the source dir.
#
# Time-outs are multiplied by ZORVET_TIME_SCALE, a whole number the lane sets
# (1 where Wine runs natively; more in the emulated machine, whose processor is
# several times slower). The test beds scale their waits by the same factor.
set(ZORVET_TIME_SCALE 1 CACHE STRING "factor for the Windows tests' time-outs")
if(NOT ZORVET_TIME_SCALE MATCHES "^[1-9][0-9]*$")
  message(FATAL_ERROR "ZORVET_TIME_SCALE must be a whole number above 0, not '${ZORVET_TIME_SCALE}'")
endif()
function(zorvet_test_timeout name seconds)
  math(EXPR _t "${seconds} * ${ZORVET_TIME_SCALE}")
  set_tests_properties(${name} PROPERTIES TIMEOUT ${_t})
endfunction()
function(zorvet_gtest name)
  cmake_parse_arguments(A "PORT;NOTEST" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES} ${A_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${A_LIBS} dep_gtest_main)
  if(A_NOTEST)
    return()
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  zorvet_test_timeout(${name} 300)
  if(A_PORT)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK port63872)
  endif()
endfunction()

# Debian's python3 (with python3-pil), not whatever python3 comes first in PATH.
set(PYTHON3 /usr/bin/python3)
function(zorvet_pytest name script)
  cmake_parse_arguments(A "PORT;DISPLAY;PREFIX" "TIMEOUT" "" ${ARGN})
  add_test(NAME ${name}
    COMMAND ${PYTHON3} ${script} --build ${CMAKE_BINARY_DIR} --source ${CMAKE_SOURCE_DIR})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  zorvet_test_timeout(${name} ${A_TIMEOUT})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "PYTHONPATH=${CMAKE_SOURCE_DIR}/tests/py;PYTHONDONTWRITEBYTECODE=1")
  if(A_PORT)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK port63872)
  endif()
  # Tests that use the shared prefix's registry or services run one at a time.
  if(A_PREFIX)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "port63872;prefix")
  endif()
endfunction()
