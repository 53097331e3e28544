# Installation (laid out as cmake/TwLayout.cmake says), the CMake package, the pkg-config file
# and the cpack packages.

set(TW_OUTSIDE_LIBS corvane plinth32 kv_exp config)
set(TW_INSTALLED_LIBS ${TW_OUTSIDE_LIBS} tarnwick)
# The same names whether a host finds the installed package or adds this tree as a subproject.
foreach(lib IN LISTS TW_INSTALLED_LIBS)
  add_library(tarnwick::${lib} ALIAS ${lib})
endforeach()

set(TW_LINUX_PRODUCT_LIBS "")
if(NOT WIN32)
  set(TW_LINUX_PRODUCT_LIBS ${TW_INSTALLED_LIBS} proxy_provider)
  # Versioned shared objects: libtarnwick.so.0 (the name a host records) is
  # libtarnwick.so.0.1.0; libtarnwick.so is the link for building hosts.
  set_target_properties(${TW_LINUX_PRODUCT_LIBS} PROPERTIES
                        VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  # Installed run paths: the attribute library finds the outside libraries in its private
  # directory, and they find each other beside themselves.
  set_target_properties(tarnwick PROPERTIES INSTALL_RPATH "$ORIGIN/tarnwick")
  set_target_properties(${TW_OUTSIDE_LIBS} proxy_provider PROPERTIES INSTALL_RPATH "$ORIGIN")
endif()

install(TARGETS tarnwick EXPORT tarnwickTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# Their headers' file sets hold include/tarnwick/<name>.h already.
install(TARGETS ${TW_OUTSIDE_LIBS} EXPORT tarnwickTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${TW_PRIVATE_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(TARGET proxy_provider)
  # Loaded by its file name, libwininet.so, from beside plinth32; hosts never link it.
  install(TARGETS proxy_provider LIBRARY DESTINATION ${TW_PRIVATE_LIBDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(TW_MINGW_RUNTIME_DLL_NAMES "")
if(WIN32)
  # The MinGW runtime the DLLs import, so that an installation runs where MinGW is absent.
  install(FILES ${TW_MINGW_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
  foreach(dll IN LISTS TW_MINGW_RUNTIME_DLLS)
    get_filename_component(name ${dll} NAME)
    list(APPEND TW_MINGW_RUNTIME_DLL_NAMES ${name})
  endforeach()
  set(TW_RUNTIME_INSTALL_DIR ${CMAKE_INSTALL_BINDIR})
else()
  set(TW_RUNTIME_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR})
endif()

# find_package(tarnwick CONFIG): tarnwick::tarnwick and its libraries, from one export set.
include(CMakePackageConfigHelpers)
set(TW_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/tarnwick)
set(TW_PACKAGE_FILES_DIR ${PROJECT_BINARY_DIR}/package_files)
install(EXPORT tarnwickTargets NAMESPACE tarnwick:: DESTINATION ${TW_CMAKE_INSTALL_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/templates/tarnwickConfig.cmake.in
                              ${TW_PACKAGE_FILES_DIR}/tarnwickConfig.cmake
                              INSTALL_DESTINATION ${TW_CMAKE_INSTALL_DIR}
                              PATH_VARS CMAKE_INSTALL_INCLUDEDIR TW_RUNTIME_INSTALL_DIR)
# 0.x releases promise nothing across minor versions. The check also refuses a package built
# for another pointer size (a 32-bit package in a 64-bit build).
write_basic_package_version_file(${TW_PACKAGE_FILES_DIR}/tarnwickConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${TW_PACKAGE_FILES_DIR}/tarnwickConfig.cmake
              ${TW_PACKAGE_FILES_DIR}/tarnwickConfigVersion.cmake
        DESTINATION ${TW_CMAKE_INSTALL_DIR})

# pkg-config, relocatable: the prefix is found from the .pc file's own directory.
if(NOT WIN32)
  file(RELATIVE_PATH TW_PC_PREFIX_FROM_PCDIR /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  string(REGEX REPLACE "/$" "" TW_PC_PREFIX_FROM_PCDIR "${TW_PC_PREFIX_FROM_PCDIR}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/templates/tarnwick.pc.in
                 ${TW_PACKAGE_FILES_DIR}/tarnwick.pc @ONLY)
  install(FILES ${TW_PACKAGE_FILES_DIR}/tarnwick.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

# cpack, for this tree on its own (a project that adds it packs itself): a ZIP for Windows; for
# Linux a gzipped tarball and, with -G DEB, a Debian package that installs under /usr. All in
# <build>/package.
if(NOT PROJECT_IS_TOP_LEVEL)
  return()
endif()
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VENDOR tarnwick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
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

set(CPACK_PACKAGE_DESCRIPTION [[
tarnwick owns an agent's attribute file: the INI file that tells an agent
which server to reach, how long to wait, over which channel, through which
HTTP proxy and with which security options. It finds the file, creates a
missing one with every default or completes an existing one key by key under
one machine-wide lock, reads and writes single attributes, and can store
secret values scrambled. The package holds the shared library, the
libraries it needs, its headers, its CMake and pkg-config files and the
command-line host tarnwickctl.]])
set(TARNWICK_DEB_MAINTAINER "tarnwick maintainers <tarnwick@example.org>" CACHE STRING
    "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARNWICK_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Depends from the shared objects' needs; the package's own libraries give their shlibs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# The ldconfig trigger for the library in /usr/lib.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# What every Debian package carries in /usr/share/doc/<package>: the copyright file and the
# changelog, compressed (added by TwCPackOptions.cmake to that package only).
if(NOT WIN32)
  set(CPACK_TW_DEBIAN_DOC_DIR ${TW_PACKAGE_FILES_DIR}/debian-doc)
  string(TIMESTAMP TW_DEB_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${TW_PACKAGE_FILES_DIR}/changelog @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${CPACK_TW_DEBIAN_DOC_DIR}/copyright COPYONLY)
  # Without a name or time stamp in the gzip header, so that the same text gives the same bytes.
  execute_process(COMMAND gzip -9nc ${TW_PACKAGE_FILES_DIR}/changelog
                  OUTPUT_FILE ${CPACK_TW_DEBIAN_DOC_DIR}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
endif()
# Settings for one generator only (the Debian package is stripped and carries the files above).
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/TwCPackOptions.cmake)
include(CPack)
