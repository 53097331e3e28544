# SPDX-License-Identifier: Apache-2.0
# GoogleTest from Debian's googletest sources, built for whichever target this tree is for.
set(TW_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${TW_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main gmock gmock_main)
  if(TARGET ${t})
    # Third-party code: its warnings are not ours to fix.
    target_compile_options(${t} PRIVATE -w)
    set_target_properties(${t} PROPERTIES CXX_VISIBILITY_PRESET default)
  endif()
endforeach()

# Under Wine every test needs the build tree's private prefix booted once, and a persistent
# wineserver for the run; the fixture does both and stops the server at the end. Where Wine
# cannot run the target's programs, the fixture says so and every test of the run is skipped.
if(CMAKE_CROSSCOMPILING)
  list(GET CMAKE_CROSSCOMPILING_EMULATOR 1 TW_WINE_BITS)
  # Whether this machine can run Wine of those bits at all (some kernels cannot execute 32-bit
  # programs): where it cannot, nothing can list a program's cases.
  if(TW_WINE_BITS STREQUAL 64)
    set(tw_wine_loader /usr/lib/wine/wine64)
  else()
    set(tw_wine_loader /usr/lib/wine/wine)
  endif()
  execute_process(COMMAND ${tw_wine_loader} --version RESULT_VARIABLE tw_wine_status OUTPUT_QUIET ERROR_QUIET)
  if(tw_wine_status EQUAL 0)
    set(TW_WINE_RUNS ON)
  else()
    set(TW_WINE_RUNS OFF)
  endif()
  add_test(NAME wine_prefix_start
           COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-prefix.sh start ${TW_WINE_BITS} ${PROJECT_BINARY_DIR})
  add_test(NAME wine_prefix_stop
           COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-prefix.sh stop ${TW_WINE_BITS} ${PROJECT_BINARY_DIR})
  set_tests_properties(wine_prefix_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine)
endif()

include(GoogleTest)

# tw_test(name SOURCES ... [PLATFORM_SOURCES base...] LIBS ... [NO_MAIN] [MEMCHECK]
#         [PROPERTIES prop value...]): one GoogleTest program with the test support library.
# PLATFORM_SOURCES adds base_win.cpp or base_posix.cpp for each base; PROPERTIES are test
# properties; MEMCHECK labels its tests for the valgrind run (tw_memcheck_test).
# Each case is a test of its own, named program.Suite.Case. The cases of one program share a
# resource lock: they run one at a time, as they did inside one process, while other programs
# run beside them. On Linux they are listed when the program is built. Under Wine they are
# listed when ctest starts (a Wine start costs about 0.3 s a case: bench/RESULTS.md, "Tests
# under Wine"): the listing runs before the fixture has booted the prefix, so wine-run.sh
# gives it no pipe a service it starts could hold. Where Wine cannot run at all, nothing can
# list the cases: each program stays one test, which the fixture's verdict then skips.
function(tw_test name)
  cmake_parse_arguments(T "NO_MAIN;MEMCHECK" "" "SOURCES;PLATFORM_SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  tw_platform_sources(${name} ${T_PLATFORM_SOURCES})
  if(T_NO_MAIN)
    target_link_libraries(${name} PRIVATE gmock gtest tw_test_support ${T_LIBS})
  else()
    target_link_libraries(${name} PRIVATE gmock gtest_main tw_test_support ${T_LIBS})
  endif()
  set(properties ${T_PROPERTIES})
  if(T_MEMCHECK)
    list(APPEND properties LABELS memcheck)
  endif()
  if(CMAKE_CROSSCOMPILING AND NOT TW_WINE_RUNS)
    tw_add_test(${name} ${name})
    if(properties)
      set_tests_properties(${name} PROPERTIES ${properties})
    endif()
  elseif(CMAKE_CROSSCOMPILING)
    gtest_discover_tests(${name} TEST_PREFIX ${name}. DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                         PROPERTIES TIMEOUT 600 RESOURCE_LOCK ${name} FIXTURES_REQUIRED wine
                                    SKIP_RETURN_CODE 77 ${properties})
  else()
    gtest_discover_tests(${name} TEST_PREFIX ${name}.
                         PROPERTIES TIMEOUT 600 RESOURCE_LOCK ${name} ${properties}
                         DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# tw_memcheck_test(test...): tests (not GoogleTest programs, whose MEMCHECK option does the
# same) that also run under valgrind's memcheck (POSIX only) in `ctest -T memcheck -L memcheck`,
# which scripts/test runs: any definite or indirect leak, or any memory error, fails the test
# there (the valgrind settings: CMakeLists.txt, before include(CTest)).
function(tw_memcheck_test)
  if(NOT WIN32)
    set_tests_properties(${ARGN} PROPERTIES LABELS memcheck)
  endif()
endfunction()

# Test properties for programs that handle fault signals themselves: under AddressSanitizer its
# own handler must not take them first. tw_own_fault_handlers(test...) sets them on tests.
set(TW_OWN_FAULT_HANDLERS ENVIRONMENT_MODIFICATION "ASAN_OPTIONS=string_append::handle_segv=0:handle_sigbus=0")
function(tw_own_fault_handlers)
  set_tests_properties(${ARGN} PROPERTIES ${TW_OWN_FAULT_HANDLERS})
endfunction()

# tw_add_test(name command args...): registers a test; a command naming an executable target runs
# under Wine on the Windows target (CMake prepends the emulator), other commands run as given.
function(tw_add_test name)
  add_test(NAME ${name} COMMAND ${ARGN})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  if(CMAKE_CROSSCOMPILING)
    # 77: the wrapper found that this machine cannot run the target's programs.
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77)
  endif()
endfunction()
