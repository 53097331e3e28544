# SPDX-License-Identifier: Apache-2.0
# The version lives in project(VERSION) alone. This file turns it into the installed header
# tarnwick_version.h (which tarnwick.h includes) and, on Windows, into a version resource for
# every DLL and EXE of the build.

# The one generated header lies in a directory of its own, which the targets that need it name.
# Every other header is read where it stands in the source tree.
set(TW_GENERATED_INCLUDE_DIR ${PROJECT_BINARY_DIR}/include)
# Builds before that copied the outside libraries' headers here; a stale copy would stand
# before the real header in the library's include path.
file(REMOVE_RECURSE ${TW_GENERATED_INCLUDE_DIR}/tarnwick)
configure_file(${CMAKE_CURRENT_LIST_DIR}/templates/tarnwick_version.h.in
               ${TW_GENERATED_INCLUDE_DIR}/tarnwick_version.h @ONLY)

if(WIN32)
  enable_language(RC)
endif()

# Descriptions of the shipped binaries; other programs (tests, helpers) get a generic one.
# A target may also carry its own in the property TW_DESCRIPTION.
set(TW_DESCRIPTION_tarnwick   "Agent attribute file library")
set(TW_DESCRIPTION_config     "INI configuration store")
set(TW_DESCRIPTION_corvane    "Allocator and machine-wide named locks")
set(TW_DESCRIPTION_plinth32   "Platform services")
set(TW_DESCRIPTION_kv_exp     "Operating-system faults as C++ exceptions")
set(TW_DESCRIPTION_tarnwickctl "Command-line host of the agent attribute file")

# tw_add_version_resource(target): compiles a generated version resource into target (a DLL
# or EXE; a target whose PREFIX or SUFFIX property differs from the default still gets the
# right description, only its OriginalFilename follows the defaults). Does nothing off Windows.
function(tw_add_version_resource target)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(TW_RC_FILETYPE VFT_DLL)
    set(suffix ${CMAKE_SHARED_LIBRARY_SUFFIX})
    set(prefix ${CMAKE_SHARED_LIBRARY_PREFIX})
  elseif(type STREQUAL "MODULE_LIBRARY")
    set(TW_RC_FILETYPE VFT_DLL)
    set(suffix ${CMAKE_SHARED_MODULE_SUFFIX})
    set(prefix ${CMAKE_SHARED_MODULE_PREFIX})
  elseif(type STREQUAL "EXECUTABLE")
    set(TW_RC_FILETYPE VFT_APP)
    set(suffix ${CMAKE_EXECUTABLE_SUFFIX})
    set(prefix "")
  else()
    message(FATAL_ERROR "tw_add_version_resource: ${target} is neither a DLL nor an EXE")
  endif()
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  get_target_property(TW_RC_DESCRIPTION ${target} TW_DESCRIPTION)
  if(NOT TW_RC_DESCRIPTION)
    if(DEFINED TW_DESCRIPTION_${target})
      set(TW_RC_DESCRIPTION "${TW_DESCRIPTION_${target}}")
    else()
      set(TW_RC_DESCRIPTION "tarnwick ${name}")
    endif()
  endif()
  set(TW_RC_NAME ${name})
  set(TW_RC_FILENAME ${prefix}${name}${suffix})
  set(rc ${PROJECT_BINARY_DIR}/version_rc/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/templates/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
