# SPDX-License-Identifier: Apache-2.0
# Where an installation puts things. The attribute library, tarnwickctl and the headers a host
# includes go where every project's do (bin/, lib/, include/). The outside libraries the
# attribute library needs, and on Linux the proxy provider, go into a private lib/tarnwick/,
# and their headers into include/tarnwick/, so that no generic name (config.h, libconfig.so)
# lands in a shared directory. Windows keeps every DLL in bin/, beside the programs.
set(TW_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/tarnwick)

# The run path of an installed program: the lib directory and the private one, relative to
# the program's own directory.
if(WIN32)
  set(TW_PROGRAM_INSTALL_RPATH "")
else()
  file(RELATIVE_PATH _tw_to_lib /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_LIBDIR})
  file(RELATIVE_PATH _tw_to_private /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${TW_PRIVATE_LIBDIR})
  set(TW_PROGRAM_INSTALL_RPATH "$ORIGIN/${_tw_to_lib}" "$ORIGIN/${_tw_to_private}")
endif()
