# Installation, the CMake package, the pkg-config file and the cpack archives.

# Every DLL and EXE carries its version resource (Windows only).
tw_add_version_resources_to_all()

set(TW_INSTALLED_LIBS corvane plinth32 kv_exp config tarnwick)
# install() reads relative PUBLIC_HEADER paths against this directory: anchor them at each
# library's own source directory.
foreach(lib IN LISTS TW_INSTALLED_LIBS)
  get_target_property(_tw_headers ${lib} PUBLIC_HEADER)
  if(_tw_headers)
    get_target_property(_tw_source_dir ${lib} SOURCE_DIR)
    set(_tw_absolute "")
    foreach(header IN LISTS _tw_headers)
      cmake_path(ABSOLUTE_PATH header BASE_DIRECTORY ${_tw_source_dir})
      list(APPEND _tw_absolute ${header})
    endforeach()
    set_target_properties(${lib} PROPERTIES PUBLIC_HEADER "${_tw_absolute}")
  endif()
endforeach()
install(TARGETS ${TW_INSTALLED_LIBS} EXPORT tarnwickTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${TW_GENERATED_INCLUDE_DIR}/tarnwick_version.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarnwick)

set(TW_MINGW_RUNTIME_DLL_NAMES "")
if(WIN32)
  # The MinGW runtime the DLLs import, so that an installation runs where MinGW is absent.
  install(FILES ${TW_MINGW_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
  foreach(dll IN LISTS TW_MINGW_RUNTIME_DLLS)
    get_filename_component(name ${dll} NAME)
    list(APPEND TW_MINGW_RUNTIME_DLL_NAMES ${name})
  endforeach()
  set(TW_CONFIG_IS_WINDOWS TRUE)
  set(TW_RUNTIME_INSTALL_DIR ${CMAKE_INSTALL_BINDIR})
else()
  set(TW_CONFIG_IS_WINDOWS FALSE)
  set(TW_RUNTIME_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR})
endif()

# find_package(tarnwick CONFIG): tarnwick::tarnwick and its libraries, from one export set.
include(CMakePackageConfigHelpers)
set(TW_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/tarnwick)
install(EXPORT tarnwickTargets NAMESPACE tarnwick:: DESTINATION ${TW_CMAKE_INSTALL_DIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/templates/tarnwickConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/package_files/tarnwickConfig.cmake
                              INSTALL_DESTINATION ${TW_CMAKE_INSTALL_DIR}
                              PATH_VARS CMAKE_INSTALL_INCLUDEDIR TW_RUNTIME_INSTALL_DIR)
# 0.x releases promise nothing across minor versions. The check also refuses a package built
# for another pointer size (a 32-bit package in a 64-bit build).
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package_files/tarnwickConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package_files/tarnwickConfig.cmake
              ${CMAKE_BINARY_DIR}/package_files/tarnwickConfigVersion.cmake
        DESTINATION ${TW_CMAKE_INSTALL_DIR})

# pkg-config, relocatable: the prefix is found from the .pc file's own directory.
if(NOT WIN32)
  file(RELATIVE_PATH TW_PC_PREFIX_FROM_PCDIR /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  string(REGEX REPLACE "/$" "" TW_PC_PREFIX_FROM_PCDIR "${TW_PC_PREFIX_FROM_PCDIR}")
  configure_file(${CMAKE_SOURCE_DIR}/cmake/templates/tarnwick.pc.in
                 ${CMAKE_BINARY_DIR}/package_files/tarnwick.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/package_files/tarnwick.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

# cpack: a ZIP for Windows, a gzipped tarball for Linux, in <build>/package.
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VENDOR tarnwick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_VERBATIM_VARIABLES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
else()
  set(CPACK_GENERATOR TGZ)
  set(CPACK_SYSTEM_NAME linux-${CMAKE_SYSTEM_PROCESSOR})
endif()
include(CPack)
