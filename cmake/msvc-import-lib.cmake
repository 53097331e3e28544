# SPDX-License-Identifier: Apache-2.0
# Writes a module-definition file and an import library in Microsoft's format for one DLL, so
# that hosts built with Visual C++ (or clang in its MSVC mode) can link against it.
# Only the C entry points go in: C++ members follow MinGW's ABI and cannot be called from there.
# EXPORTS is the module-definition file the linker wrote for the DLL (--output-def): every
# export, C++ ones included.
# Usage: cmake -DEXPORTS=all.def -DDLL_NAME=x.dll -DDLLTOOL=... -DMACHINE=i386|i386:x86-64
#              -DDEF=out.def -DLIB=out.lib -P msvc-import-lib.cmake
foreach(v EXPORTS DLL_NAME DLLTOOL MACHINE DEF LIB)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "msvc-import-lib: ${v} not set")
  endif()
endforeach()

file(STRINGS ${EXPORTS} lines)
set(names "")
set(in_exports FALSE)
foreach(line IN LISTS lines)
  if(line MATCHES "^EXPORTS")
    set(in_exports TRUE)
  elseif(in_exports AND line MATCHES "^[ \t]+\"?([^ \t\"@]+)")
    set(name ${CMAKE_MATCH_1})
    # C names only: mangled C++ names begin with _Z.
    if(NOT name MATCHES "^_Z")
      list(APPEND names ${name})
    endif()
  endif()
endforeach()
if(NOT names)
  message(FATAL_ERROR "msvc-import-lib: ${EXPORTS} lists no C function")
endif()
list(SORT names)

set(text "LIBRARY ${DLL_NAME}\nEXPORTS\n")
foreach(name IN LISTS names)
  string(APPEND text "    ${name}\n")
endforeach()
file(WRITE ${DEF} "${text}")

execute_process(COMMAND ${DLLTOOL} -m ${MACHINE} -d ${DEF} -l ${LIB} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "msvc-import-lib: ${DLLTOOL} failed for ${DEF}")
endif()
