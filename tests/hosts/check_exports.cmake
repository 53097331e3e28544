# SPDX-License-Identifier: Apache-2.0
# Checks that a built tarnwick library exports exactly its entry points and members of
# the exception classes, nothing internal, and not the guard's constructor or destructor
# (those are kv_exp's).
# Usage: cmake -DTOOL=<objdump|nm> -DFORMAT=<pe|elf> -DLIBRARY=<file> -P check_exports.cmake
cmake_minimum_required(VERSION 3.25)

if(FORMAT STREQUAL "pe")
  execute_process(COMMAND ${TOOL} -p ${LIBRARY} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
else()
  execute_process(COMMAND ${TOOL} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${TOOL} failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${out}")

set(exports "")
set(in_table FALSE)
foreach(line IN LISTS lines)
  if(FORMAT STREQUAL "pe")
    if(line MATCHES "\\[Ordinal/Name Pointer\\] Table")
      set(in_table TRUE)
    elseif(in_table AND line MATCHES "^[ \t]*\\[ *[0-9]+\\] +([^ \t]+)[ \t]*$")
      list(APPEND exports "${CMAKE_MATCH_1}")
    elseif(in_table AND line STREQUAL "")
      set(in_table FALSE)
    endif()
  elseif(line MATCHES "^[0-9a-fA-F]* +[A-Za-z] +([^ \t@]+)")
    list(APPEND exports "${CMAKE_MATCH_1}")
  endif()
endforeach()

set(functions attrib_mngr_init attrib_mngr_get_attrib attrib_mngr_set_attrib attrib_mngr_save_attribs
              attrib_mngr_get_filename attrib_mngr_get_null_filename delete_attribs_mngr
              attrib_mngr_error_text)
# Itanium-mangled names of the classes' members, vtables and type information, and the type
# information of CInterprocException's allocation mix-in MNew, which the class's own refers to.
set(member "^_Z(TV|TI|TS|NK?)(16CKvBaseException|19CInterprocException|18CKvSystemException|13CKvOsToCppExp)|^_ZT[IS]4MNew$")
# Members that hosts and kv_exp rely on, each given by the mangled names one of which must be there.
set(required
    "_ZN16CKvBaseExceptionC1Ev|_ZN16CKvBaseExceptionC2Ev"
    "_ZN16CKvBaseExceptionC1ERKS_|_ZN16CKvBaseExceptionC2ERKS_"
    "_ZN16CKvBaseExceptionD1Ev|_ZN16CKvBaseExceptionD2Ev"
    "_ZN16CKvBaseExceptionaSERKS_"
    "_ZN16CKvBaseExceptiondeEv"
    "_ZTV16CKvBaseException"
    "_ZN18CKvSystemExceptionD1Ev|_ZN18CKvSystemExceptionD2Ev"
    "_ZN18CKvSystemExceptionaSERKS_"
    "_ZN13CKvOsToCppExpaSERKS_")

set(errors "")
foreach(f IN LISTS functions)
  if(NOT f IN_LIST exports)
    string(APPEND errors "  missing function ${f}\n")
  endif()
endforeach()
foreach(alternatives IN LISTS required)
  string(REPLACE "|" ";" names "${alternatives}")
  set(found FALSE)
  foreach(n IN LISTS names)
    if(n IN_LIST exports)
      set(found TRUE)
    endif()
  endforeach()
  if(NOT found)
    string(APPEND errors "  missing member ${alternatives}\n")
  endif()
endforeach()
foreach(e IN LISTS exports)
  if(e IN_LIST functions)
    continue()
  endif()
  if(NOT e MATCHES "${member}")
    string(APPEND errors "  unexpected export ${e}\n")
  elseif(e MATCHES "^_ZN13CKvOsToCppExp[CD][0-9]")
    string(APPEND errors "  kv_exp's own member exported: ${e}\n")
  endif()
endforeach()

list(LENGTH exports count)
if(errors)
  message(FATAL_ERROR "${LIBRARY} (${count} exports):\n${errors}")
endif()
message(STATUS "${LIBRARY}: ${count} exports, as expected")
