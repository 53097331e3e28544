# Writes a module-definition file and an import library in Microsoft's format for one DLL, so
# that hosts built with Visual C++ (or clang in its MSVC mode) can link against it.
# Only the C entry points go in: C++ members follow MinGW's ABI and cannot be called from there.
# Usage: cmake -DDLL=... -DOBJDUMP=... -DDLLTOOL=... -DMACHINE=i386|i386:x86-64
#              -DDEF=out.def -DLIB=out.lib -P msvc-import-lib.cmake
foreach(v DLL OBJDUMP DLLTOOL MACHINE DEF LIB)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "msvc-import-lib: ${v} not set")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "msvc-import-lib: ${OBJDUMP} -p ${DLL} failed")
endif()

# The export name table is the block after "[Ordinal/Name Pointer] Table", one "[ n] name" a line.
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
if(start LESS 0)
  message(FATAL_ERROR "msvc-import-lib: ${DLL} exports nothing")
endif()
string(SUBSTRING "${dump}" ${start} -1 table)
string(REPLACE "\n" ";" lines "${table}")
list(POP_FRONT lines)
set(names "")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^[ \t]*\\[[ 0-9]+\\] ([^ \t]+)[ \t]*$")
    break()
  endif()
  set(name ${CMAKE_MATCH_1})
  # C names only: mangled C++ names begin with _Z.
  if(NOT name MATCHES "^_Z")
    list(APPEND names ${name})
  endif()
endforeach()
if(NOT names)
  message(FATAL_ERROR "msvc-import-lib: ${DLL} exports no C function")
endif()
list(SORT names)

get_filename_component(dll_name ${DLL} NAME)
set(text "LIBRARY ${dll_name}\nEXPORTS\n")
foreach(name IN LISTS names)
  string(APPEND text "    ${name}\n")
endforeach()
file(WRITE ${DEF} "${text}")

execute_process(COMMAND ${DLLTOOL} -m ${MACHINE} -d ${DEF} -l ${LIB} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "msvc-import-lib: ${DLLTOOL} failed for ${DEF}")
endif()
