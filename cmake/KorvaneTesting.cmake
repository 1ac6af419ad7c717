# korvane_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [ENV <VAR=value...>] [REALTIME])
# One GoogleTest executable, its cases registered with CTest one by one.
# REALTIME marks suites that race a simulated radio in real time: CTest runs them
# alone, so the pacing they check is not distorted by other suites loading the cores.
#
# The cases' properties are set by a CTest script of our own, run after the
# discovery: gtest_discover_tests' PROPERTIES pairs names with values by position
# and splits list values (two labels, two variables, or an empty ENV), so a case
# could lose its time limit, its environment or running alone without a word.
function(korvane_add_test name)
  cmake_parse_arguments(T "REALTIME" "" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    NO_PRETTY_VALUES
    DISCOVERY_TIMEOUT 60
    TEST_LIST ${name}_TESTS)
  if(T_REALTIME)
    set(run_serial TRUE)
  else()
    set(run_serial FALSE)
  endif()
  set(labels "${T_LABELS}")
  set(environment "${T_ENV}")
  set(script "${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake")
  file(CONFIGURE OUTPUT "${script}" CONTENT [=[
foreach(test IN LISTS @name@_TESTS)
  set_tests_properties("${test}" PROPERTIES
    LABELS "@labels@" ENVIRONMENT "@environment@" TIMEOUT 300 RUN_SERIAL @run_serial@)
endforeach()
]=] @ONLY)
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${script}")
endfunction()
