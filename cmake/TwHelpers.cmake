# SPDX-License-Identifier: Apache-2.0
# tw_platform_sources(target base...): adds base_win.cpp or base_posix.cpp for each base.
function(tw_platform_sources target)
  foreach(base IN LISTS ARGN)
    target_sources(${target} PRIVATE ${base}_${TW_PLATFORM}.cpp)
  endforeach()
endfunction()

# Where the MinGW runtime DLLs live, so that they can be copied beside our binaries and installed.
if(WIN32)
  set(TW_MINGW_RUNTIME_DLLS "")
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_tw_libgcc libgcc_s_seh-1.dll)
  else()
    set(_tw_libgcc libgcc_s_dw2-1.dll)
  endif()
  foreach(dll ${_tw_libgcc} libstdc++-6.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT EXISTS "${path}")
      message(FATAL_ERROR "MinGW runtime ${dll} not found")
    endif()
    list(APPEND TW_MINGW_RUNTIME_DLLS "${path}")
  endforeach()
  file(COPY ${TW_MINGW_RUNTIME_DLLS} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
endif()

# tw_targets_of_tree(var): every target defined in this project's source tree (not those of a
# project that adds this one, nor third-party code built along).
function(tw_targets_of_tree var)
  set(result "")
  set(dirs ${PROJECT_SOURCE_DIR})
  while(dirs)
    list(POP_FRONT dirs dir)
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    list(APPEND dirs ${subdirs})
    cmake_path(IS_PREFIX PROJECT_SOURCE_DIR "${dir}" NORMALIZE inside)
    if(inside)
      get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
      list(APPEND result ${targets})
    endif()
  endwhile()
  set(${var} ${result} PARENT_SCOPE)
endfunction()

# tw_apply_target_settings(): what every compiled target of this tree gets. Call once, after
# every subdirectory was added.
function(tw_apply_target_settings)
  tw_targets_of_tree(targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(SHARED_LIBRARY|MODULE_LIBRARY|EXECUTABLE|STATIC_LIBRARY|OBJECT_LIBRARY)$")
      continue()
    endif()
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(WIN32 AND type MATCHES "^(SHARED_LIBRARY|MODULE_LIBRARY|EXECUTABLE)$")
      # The shared compiler run-time everywhere, so that exceptions cross module boundaries.
      target_link_options(${target} PRIVATE -shared-libgcc)
      tw_add_version_resource(${target})
    endif()
  endforeach()
endfunction()
