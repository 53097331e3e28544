# SPDX-License-Identifier: Apache-2.0
# Module-definition files and Microsoft-format import libraries (lib/<name>.def, lib/<name>.lib)
# for the DLLs whose C interfaces hosts call, made from the exports the linker lists as it links
# each DLL, and installed beside the MinGW import libraries.
if(NOT WIN32)
  return()
endif()

find_program(TW_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TW_DLLTOOL_MACHINE i386:x86-64)
else()
  set(TW_DLLTOOL_MACHINE i386)
endif()

function(tw_msvc_import_library target)
  set(def ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/${target}.def)
  set(lib ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/${target}.lib)
  # Every export of the DLL, as the linker writes them each time it links it.
  set(exports ${PROJECT_BINARY_DIR}/exports/${target}.def)
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/exports)
  target_link_options(${target} PRIVATE "-Wl,--output-def,${exports}")
  add_custom_command(OUTPUT ${def} ${lib}
    COMMAND ${CMAKE_COMMAND} -DEXPORTS=${exports} -DDLL_NAME=$<TARGET_FILE_NAME:${target}>
            -DDLLTOOL=${TW_LLVM_DLLTOOL} -DMACHINE=${TW_DLLTOOL_MACHINE}
            -DDEF=${def} -DLIB=${lib} -P ${PROJECT_SOURCE_DIR}/cmake/msvc-import-lib.cmake
    DEPENDS ${target} $<TARGET_FILE:${target}> ${PROJECT_SOURCE_DIR}/cmake/msvc-import-lib.cmake
    COMMENT "Import library for Visual C++ hosts: ${target}.lib"
    VERBATIM)
  add_custom_target(${target}_msvc_import ALL DEPENDS ${def} ${lib})
  install(FILES ${def} ${lib} DESTINATION ${CMAKE_INSTALL_LIBDIR})
endfunction()

# Once the top directory has defined the libraries.
function(tw_msvc_import_libraries)
  foreach(target tarnwick config corvane)
    tw_msvc_import_library(${target})
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL tw_msvc_import_libraries)
