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
  add_test(NAME wine_prefix_start
           COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-prefix.sh start ${TW_WINE_BITS} ${PROJECT_BINARY_DIR})
  add_test(NAME wine_prefix_stop
           COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-prefix.sh stop ${TW_WINE_BITS} ${PROJECT_BINARY_DIR})
  set_tests_properties(wine_prefix_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine)
endif()

# tw_test(name SOURCES ... [PLATFORM_SOURCES base...] LIBS ... [NO_MAIN]): one GoogleTest
# program with the test support library, run as one test (under Wine on the Windows target).
# PLATFORM_SOURCES adds base_win.cpp or base_posix.cpp for each base.
function(tw_test name)
  cmake_parse_arguments(T "NO_MAIN" "" "SOURCES;PLATFORM_SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  tw_platform_sources(${name} ${T_PLATFORM_SOURCES})
  if(T_NO_MAIN)
    target_link_libraries(${name} PRIVATE gmock gtest tw_test_support ${T_LIBS})
  else()
    target_link_libraries(${name} PRIVATE gmock gtest_main tw_test_support ${T_LIBS})
  endif()
  tw_add_test(${name} ${name})
endfunction()

# tw_memcheck_test(target [property value]...): target's tests once more under valgrind's
# memcheck (POSIX only), as the test target_memcheck: any definite or indirect leak, or any
# memory error, fails the run. Extra arguments are test properties (e.g. RUN_SERIAL TRUE
# WORKING_DIRECTORY dir). Where valgrind is not installed the test is registered all the same
# and reports itself skipped, so that a run without valgrind says what it left out;
# TW_VALGRIND=OFF (the sanitizer preset, whose suite runs the same programs) registers nothing.
if(NOT WIN32)
  find_program(TW_VALGRIND valgrind)
endif()
function(tw_memcheck_test target)
  if(WIN32 OR (NOT TW_VALGRIND AND NOT TW_VALGRIND MATCHES "-NOTFOUND$"))
    return()
  endif()
  set(name ${target}_memcheck)
  if(TW_VALGRIND)
    tw_add_test(${name} ${TW_VALGRIND} --quiet --error-exitcode=99 --leak-check=full
                --errors-for-leak-kinds=definite,indirect $<TARGET_FILE:${target}>)
  else()
    # No ';' in the command: CMake would split the argument there.
    tw_add_test(${name} sh -c "echo 'valgrind is not installed: not run' >&2 && exit 77")
    set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
  endif()
  if(ARGN)
    set_tests_properties(${name} PROPERTIES ${ARGN})
  endif()
endfunction()

# tw_own_fault_handlers(test...): the tests' programs handle fault signals themselves; under
# AddressSanitizer its own handler must not take them first.
function(tw_own_fault_handlers)
  set_tests_properties(${ARGN} PROPERTIES
                       ENVIRONMENT_MODIFICATION "ASAN_OPTIONS=string_append::handle_segv=0:handle_sigbus=0")
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
