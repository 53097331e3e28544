# SPDX-License-Identifier: Apache-2.0
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

# Each file belongs to one component, which cpack -G DEB makes one Debian package of:
# runtime (libtarnwick0: the libraries a program runs with), dev (libtarnwick-dev: headers,
# the .so links, the CMake and pkg-config files) and tools (tarnwick-tools: tarnwickctl, its
# manual page and completion, the Ansible collection's tarball). docs (README, LICENSE) goes into the archives only: a Debian
# package carries its own copyright file instead.
install(TARGETS tarnwick EXPORT tarnwickTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
        FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
# Their headers' file sets hold tarnwick/<name>.h (outside/<name>/include/tarnwick/<name>.h).
install(TARGETS ${TW_OUTSIDE_LIBS} EXPORT tarnwickTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
        LIBRARY DESTINATION ${TW_PRIVATE_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
        FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
if(TARGET proxy_provider)
  # Loaded by its file name, libwininet.so, from beside plinth32; hosts never link it. So that
  # name is part of the run time, not a link for building.
  install(TARGETS proxy_provider LIBRARY DESTINATION ${TW_PRIVATE_LIBDIR} COMPONENT runtime)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT docs)

set(TW_MINGW_RUNTIME_DLL_NAMES "")
if(WIN32)
  # The MinGW runtime the DLLs import, so that an installation runs where MinGW is absent.
  install(FILES ${TW_MINGW_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
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
install(EXPORT tarnwickTargets NAMESPACE tarnwick:: DESTINATION ${TW_CMAKE_INSTALL_DIR} COMPONENT dev)
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
        DESTINATION ${TW_CMAKE_INSTALL_DIR} COMPONENT dev)

# pkg-config, relocatable: the prefix is found from the .pc file's own directory.
if(NOT WIN32)
  file(RELATIVE_PATH TW_PC_PREFIX_FROM_PCDIR /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  string(REGEX REPLACE "/$" "" TW_PC_PREFIX_FROM_PCDIR "${TW_PC_PREFIX_FROM_PCDIR}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/templates/tarnwick.pc.in
                 ${TW_PACKAGE_FILES_DIR}/tarnwick.pc @ONLY)
  install(FILES ${TW_PACKAGE_FILES_DIR}/tarnwick.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endif()

# The manual page and the shell completion of tarnwickctl (tools), for this tree on its own.
if(PROJECT_IS_TOP_LEVEL)
  # The dates in the manual page and the Debian changelog: SOURCE_DATE_EPOCH's, else that of
  # the last commit, else now; so that one commit gives the same files on every build.
  if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE _tw_commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE _tw_git ERROR_QUIET)
    if(_tw_git EQUAL 0 AND _tw_commit_time MATCHES "^[0-9]+$")
      set(ENV{SOURCE_DATE_EPOCH} ${_tw_commit_time})
    endif()
  endif()
  include(${CMAKE_CURRENT_LIST_DIR}/TwDocs.cmake)
endif()

# cpack, for this tree on its own (a project that adds it packs itself): a ZIP for Windows; for
# Linux a gzipped tarball and, with -G DEB, three Debian packages (one per component) that
# install under /usr. All in <build>/package.
if(NOT PROJECT_IS_TOP_LEVEL)
  return()
endif()
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VENDOR "The tarnwick authors")
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
# The archives hold every component; the Debian packages one each (TwCPackOptions.cmake).
set(CPACK_COMPONENTS_ALL runtime dev tools docs)

set(TW_DEB_ABOUT [[
tarnwick owns an agent's attribute file: the INI file that tells an agent
which server to reach, how long to wait, over which channel, through which
HTTP proxy and with which security options. It finds the file, creates a
missing one with every default or completes an existing one key by key under
one machine-wide lock, reads and writes single attributes, and can store
secret values scrambled.]])
set(CPACK_PACKAGE_DESCRIPTION "${TW_DEB_ABOUT}")
# Debian descriptions: a summary line, then the extended text (cpack indents it; an empty line
# separates paragraphs).
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "agent attribute file library\n${TW_DEB_ABOUT}\n
This package holds the shared library, the libraries it needs (in a private
directory) and the HTTP proxy provider it loads.")
set(CPACK_DEBIAN_DEV_DESCRIPTION "agent attribute file library - development files\n${TW_DEB_ABOUT}\n
This package holds what a program that uses the library is built with: the
headers, the link for the linker, the CMake package (find_package(tarnwick))
and the pkg-config file.")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "command-line tool for the agent attribute file\n${TW_DEB_ABOUT}\n
This package holds tarnwickctl, which shows, reads, sets, removes, checks,
edits and applies attributes from a shell or a script, with its manual page
and its bash completion, and the Ansible collection tarnwick.agent, whose
module attribs manages the file of many machines through tarnwickctl.")

set(TARNWICK_DEB_MAINTAINER "tarnwick maintainers <maintainers@tarnwick.invalid>" CACHE STRING
    "Maintainer field of the Debian packages: \"Name <address>\"")
# The placeholder of earlier builds, left in their caches, gives way to the new default.
if(TARNWICK_DEB_MAINTAINER STREQUAL "tarnwick maintainers <tarnwick@example.org>")
  set_property(CACHE TARNWICK_DEB_MAINTAINER PROPERTY VALUE "tarnwick maintainers <maintainers@tarnwick.invalid>")
endif()
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARNWICK_DEB_MAINTAINER}")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The library package is named after its SONAME, so that a new major version is a new
# package that installs beside the old one.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libtarnwick${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libtarnwick-dev)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME tarnwick-tools)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The development files are of exactly this build of the library.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libtarnwick${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION})")
# Depends from the shared objects' needs (dpkg-shlibdeps); the library package declares the
# libraries it provides (its shlibs file), at least this version.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The ldconfig trigger for the library in the shared library directory.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(NOT WIN32)
  # What every Debian package carries in /usr/share/doc/<package>: the copyright file and the
  # changelog, compressed without a name or time stamp, so that the same text gives the same
  # bytes (two architectures of a Multi-Arch: same package must ship identical files). The
  # changelog's date is SOURCE_DATE_EPOCH's (see above).
  set(CPACK_TW_DEBIAN_DOC_DIR ${TW_PACKAGE_FILES_DIR}/debian-doc)
  string(TIMESTAMP TW_DEB_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${TW_PACKAGE_FILES_DIR}/changelog @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${CPACK_TW_DEBIAN_DOC_DIR}/copyright COPYONLY)
  execute_process(COMMAND gzip -9nc ${TW_PACKAGE_FILES_DIR}/changelog
                  OUTPUT_FILE ${CPACK_TW_DEBIAN_DOC_DIR}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
  set(CPACK_TW_DEBIAN_OVERRIDES_DIR ${PROJECT_SOURCE_DIR}/cmake/debian/overrides)
  set(CPACK_TW_MULTIARCH "${CMAKE_LIBRARY_ARCHITECTURE}")
  set(CPACK_TW_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
  set(CPACK_TW_DOCDIR "${CMAKE_INSTALL_DOCDIR}")
endif()
# Settings for one generator only (TwCPackOptions.cmake), and the Debian packages' finishing
# (cmake/debian/*.cmake).
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/TwCPackOptions.cmake)
set(CPACK_TW_SOURCE_DIR ${PROJECT_SOURCE_DIR})
include(CPack)
