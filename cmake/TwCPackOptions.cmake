# Read by cpack for each generator it runs (CPACK_PROJECT_CONFIG_FILE).
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  # A distribution's package carries no debugging information.
  set(CPACK_STRIP_FILES TRUE)
  # The copyright file and the changelog that every Debian package carries.
  set(CPACK_INSTALLED_DIRECTORIES
      "${CPACK_TW_DEBIAN_DOC_DIR};${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/${CPACK_PACKAGE_NAME}")
endif()
