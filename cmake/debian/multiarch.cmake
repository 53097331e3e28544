# SPDX-License-Identifier: Apache-2.0
# Run by cpack -G DEB after the packages are made (CPACK_POST_BUILD_SCRIPTS). Finishes the
# control part of the library packages, which CPack cannot write as Debian wants:
# - "Multi-Arch: same", so that the packages of two architectures install side by side (their
#   libraries lie in /usr/lib/<triplet>, their other files are identical);
# - the shlibs file names libtarnwick alone: the libraries in the private directory are no
#   interface, and a line for libconfig.so.0 would claim that name for every package;
# - no postinst or postrm running ldconfig: the triggers file (activate-noawait ldconfig) does
#   that once per dpkg run.
# Each is rebuilt around the same data.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name ${deb} NAME)
  if(NOT name MATCHES "^(${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME}|${CPACK_DEBIAN_DEV_PACKAGE_NAME})_")
    continue()
  endif()
  set(tree ${CPACK_TOPLEVEL_DIRECTORY}/multiarch/${name})
  file(REMOVE_RECURSE ${tree})
  file(MAKE_DIRECTORY ${CPACK_TOPLEVEL_DIRECTORY}/multiarch)
  execute_process(COMMAND dpkg-deb --raw-extract ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(READ ${tree}/DEBIAN/control control)
  if(NOT control MATCHES "\nMulti-Arch:")
    string(STRIP "${control}" control)
    string(APPEND control "\nMulti-Arch: same\n")
    file(WRITE ${tree}/DEBIAN/control "${control}")
  endif()
  if(EXISTS ${tree}/DEBIAN/shlibs)
    file(STRINGS ${tree}/DEBIAN/shlibs lines REGEX "^libtarnwick ")
    list(JOIN lines "\n" shlibs)
    file(WRITE ${tree}/DEBIAN/shlibs "${shlibs}\n")
  endif()
  file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
  execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip --build ${tree} ${deb}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
