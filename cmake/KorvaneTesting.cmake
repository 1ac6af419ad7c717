# korvane_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [ENV <VAR=value...>] [REALTIME])
# One GoogleTest executable, its cases registered with CTest one by one.
# REALTIME marks suites that race a simulated radio in real time: CTest runs them
# alone, so the pacing they check is not distorted by other suites loading the cores.
function(korvane_add_test name)
  cmake_parse_arguments(T "REALTIME" "" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    NO_PRETTY_VALUES
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${T_LABELS}" ENVIRONMENT "${T_ENV}" TIMEOUT 300 RUN_SERIAL ${T_REALTIME})
endfunction()
