# SPDX-License-Identifier: Apache-2.0
# Run by cpack -G DEB after the components are installed into their staging directories and
# before the packages are made (CPACK_PRE_BUILD_SCRIPTS). Gives each package what Debian's
# policy asks of every package in /usr/share/doc/<package>: the copyright file and the
# changelog; and, where one exists, its lintian overrides (cmake/debian/overrides/<package>).
# The README goes with the development files.
# cpack leaves DESTDIR set to the last component's staging directory: the paths below are whole.
unset(ENV{DESTDIR})
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${component} upper)
  set(package ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  set(usr ${CPACK_TEMPORARY_DIRECTORY}/${component}${CPACK_PACKAGING_INSTALL_PREFIX})
  if(NOT package OR NOT IS_DIRECTORY ${usr})
    message(FATAL_ERROR "no Debian package name or staging directory for the component ${component}")
  endif()
  file(INSTALL ${CPACK_TW_DEBIAN_DOC_DIR}/copyright ${CPACK_TW_DEBIAN_DOC_DIR}/changelog.gz
       DESTINATION ${usr}/share/doc/${package}
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  if(component STREQUAL "dev")
    file(INSTALL ${CPACK_TW_SOURCE_DIR}/README.md DESTINATION ${usr}/share/doc/${package}
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
  set(overrides ${CPACK_TW_DEBIAN_OVERRIDES_DIR}/${package})
  if(EXISTS ${overrides})
    file(INSTALL ${overrides} DESTINATION ${usr}/share/lintian/overrides
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
endforeach()
