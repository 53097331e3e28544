# SPDX-License-Identifier: Apache-2.0
# Read by cpack for each generator it runs (CPACK_PROJECT_CONFIG_FILE).
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  # A distribution's package carries no debugging information.
  set(CPACK_STRIP_FILES TRUE)
  # Each package's description starts with its own summary line.
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CPACK_DEFAULT_PACKAGE_DESCRIPTION_SUMMARY}")
  # One package per component; the README and LICENSE of the archives stay out (each package
  # has its copyright file, and the licence text is the system's).
  set(CPACK_COMPONENTS_ALL runtime dev tools)
  # Multiarch: the libraries in /usr/lib/<triplet>, where GNUInstallDirs puts them when the
  # build is configured for the prefix /usr. Packages of another layout could not be
  # installed for two architectures side by side.
  if(CPACK_TW_MULTIARCH AND NOT CPACK_TW_LIBDIR STREQUAL "lib/${CPACK_TW_MULTIARCH}")
    message(FATAL_ERROR "The Debian packages need the libraries in lib/${CPACK_TW_MULTIARCH}, "
            "not ${CPACK_TW_LIBDIR}: configure the build with -DCMAKE_INSTALL_PREFIX=/usr "
            "(the preset linux-package does).")
  endif()
  # tarnwickctl links the library and, privately, the store beside it: libtarnwick0 of this
  # very build. dpkg-shlibdeps finds them in the library package's staging directory.
  set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME} (= ${CPACK_PACKAGE_VERSION})")
  set(_tw_staged_libdir
      "${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/${CPACK_TOPLEVEL_TAG}/DEB/${CPACK_PACKAGE_FILE_NAME}/runtime/usr/${CPACK_TW_LIBDIR}")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${_tw_staged_libdir}" "${_tw_staged_libdir}/tarnwick")
  # Into each package's staging directory: its copyright file, changelog and lintian overrides.
  set(CPACK_PRE_BUILD_SCRIPTS ${CPACK_TW_SOURCE_DIR}/cmake/debian/staging.cmake)
  # The library packages' control files finished: Multi-Arch, shlibs, no ldconfig scripts.
  set(CPACK_POST_BUILD_SCRIPTS ${CPACK_TW_SOURCE_DIR}/cmake/debian/multiarch.cmake)
endif()
