# tacmon_add_test(name SOURCES ... LIBS ... [LABELS label]): a GoogleTest executable registered
# with ctest. Every test runs headless (offscreen Qt) with its own scratch data roots. Programs
# labelled "threads" also join the target tests_threads (what scripts/sanitize thread builds).
function(tacmon_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE TACMON_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data")
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR})
  # QT_QPA_PLATFORM, XDG_RUNTIME_DIR and TACMON_BIN come from tests/support/test_environment.cpp
  # (one ENVIRONMENT value with several entries does not survive gtest_discover_tests).
  target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/test_environment.cpp)
  target_compile_definitions(${name} PRIVATE TACMON_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
                                             TACMON_XDG_DIR="${CMAKE_BINARY_DIR}/xdg")
  set(props ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
  if(T_LABELS)
    # gtest_discover_tests passes a list on as separate words: one label per program.
    list(LENGTH T_LABELS count)
    if(count GREATER 1)
      message(FATAL_ERROR "${name}: one label only (got ${T_LABELS})")
    endif()
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if("threads" IN_LIST T_LABELS)
    add_dependencies(tests_threads ${name})
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()
