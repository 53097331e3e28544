# Read by cpack for each generator it runs (CPACK_PROJECT_CONFIG_FILE).
if(CPACK_GENERATOR STREQUAL "DEB")
  # A distribution's package carries no debugging information.
  set(CPACK_STRIP_FILES TRUE)
endif()
