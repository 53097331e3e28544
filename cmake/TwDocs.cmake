# SPDX-License-Identifier: Apache-2.0
# tarnwickctl's manual page and shell completion, installed with the tool.
#
# The page is written once, in scdoc (tools/tarnwickctl/tarnwickctl.1.scd). The build turns it
# into troff: gzipped on Linux (what Debian installs; man reads it so anywhere), and for the
# Windows archives also into plain text, since Windows has no man.
find_program(TW_SCDOC scdoc)
if(NOT TW_SCDOC)
  message(FATAL_ERROR "scdoc, which makes the manual page, was not found (Debian: apt install scdoc)")
endif()
set(_tw_manual_args -DSCDOC=${TW_SCDOC})
set(_tw_manual_outputs ${PROJECT_BINARY_DIR}/man/tarnwickctl.1 ${PROJECT_BINARY_DIR}/man/tarnwickctl.1.gz)
if(WIN32)
  find_program(TW_GROFF groff)
  if(NOT TW_GROFF)
    message(FATAL_ERROR "groff, which writes the manual page as text, was not found (Debian: apt install groff-base)")
  endif()
  list(APPEND _tw_manual_args -DGROFF=${TW_GROFF})
  list(APPEND _tw_manual_outputs ${PROJECT_BINARY_DIR}/man/tarnwickctl.txt)
endif()
# The page's date: SOURCE_DATE_EPOCH's, as the changelog's (TwInstall.cmake).
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  list(APPEND _tw_manual_args -DSOURCE_DATE_EPOCH=$ENV{SOURCE_DATE_EPOCH})
endif()
add_custom_command(
  OUTPUT ${_tw_manual_outputs}
  COMMAND ${CMAKE_COMMAND} ${_tw_manual_args}
          -DSOURCE=${PROJECT_SOURCE_DIR}/tools/tarnwickctl/tarnwickctl.1.scd
          -DOUTPUT_DIR=${PROJECT_BINARY_DIR}/man
          -P ${PROJECT_SOURCE_DIR}/cmake/TwManual.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/tarnwickctl/tarnwickctl.1.scd ${PROJECT_SOURCE_DIR}/cmake/TwManual.cmake
  COMMENT "Writing the manual page tarnwickctl(1)"
  VERBATIM)
add_custom_target(tarnwickctl_manual ALL DEPENDS ${_tw_manual_outputs})

if(WIN32)
  install(FILES ${PROJECT_BINARY_DIR}/man/tarnwickctl.txt DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT docs)
else()
  install(FILES ${PROJECT_BINARY_DIR}/man/tarnwickctl.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
  # Where bash-completion loads a command's completion from on its first use.
  install(FILES ${PROJECT_SOURCE_DIR}/tools/tarnwickctl/completion.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tarnwickctl COMPONENT tools)
endif()
