# Under AddressSanitizer, the leak check finds dynamic thread-local blocks as
# the dynamic linker's own allocations: following them through
# __tls_get_addr crashes the leak checker of GCC 12 once loading a module has
# made glibc grow the thread-local vector (intercept_tls_get_addr=0).
set(NB_SANITIZER_TEST_OPTIONS "ASAN_OPTIONS=allocator_may_return_null=1:intercept_tls_get_addr=0")

# nb_add_test(name SOURCES ... LIBS ... [LABELS label...])
# The labels are joined into one (unit_threads): the generated test script
# cannot carry a list, and CTest selects by regular expression, so both
# -L unit and -L threads still pick it.
# A GoogleTest binary whose cases CTest lists one by one. Every test knows
# the built application directory through NB_TEST_APP_DIR.
function(nb_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE NB_TEST_APP_DIR="${NB_APP_DIR}"
                                             NB_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  list(JOIN T_LABELS "_" label)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS ${label} ENVIRONMENT "${NB_SANITIZER_TEST_OPTIONS}")
endfunction()

# nb_add_fuzzer(name SOURCE file LIBS ...)
# With NB_FUZZ a libFuzzer binary; otherwise a replay test that runs the
# target once over every file of <dir>/corpus/<name>/, so the target keeps
# building and its corpus keeps passing in every test run.
function(nb_add_fuzzer name)
  cmake_parse_arguments(F "" "SOURCE" "LIBS" ${ARGN})
  set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
  if(NB_FUZZ)
    add_executable(${name} ${F_SOURCE})
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${name} ${F_SOURCE} ${CMAKE_SOURCE_DIR}/tools/fuzz_replay_main.cpp)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    add_test(NAME ${name}.replay COMMAND ${name} ${corpus})
    set_tests_properties(${name}.replay PROPERTIES LABELS unit_fuzz
      ENVIRONMENT "${NB_SANITIZER_TEST_OPTIONS}")
  endif()
endfunction()

# nb_module(target OUTPUT name): an in-process module in internals/,
# named exactly as the activation table and the loaders expect.
function(nb_module target)
  cmake_parse_arguments(M "" "OUTPUT" "" ${ARGN})
  set_target_properties(${target} PROPERTIES
    PREFIX "" OUTPUT_NAME ${M_OUTPUT} SUFFIX ".so"
    LIBRARY_OUTPUT_DIRECTORY ${NB_INTERNALS_DIR}
    BUILD_RPATH "$ORIGIN" INSTALL_RPATH "$ORIGIN")
  target_link_options(${target} PRIVATE -Wl,--no-undefined)
endfunction()
