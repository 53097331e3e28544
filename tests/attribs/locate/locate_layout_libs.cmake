# SPDX-License-Identifier: Apache-2.0
# Copies the shared libraries (LIBS, separated by '|'; a link is copied as the file it names)
# into OUT and sets each one's run path
# to $ORIGIN, as installing does. The build tree's run path also names the build folder and
# keeps empty entries (room for the installed value), and the loader reads an empty entry as
# the current directory.
string(REPLACE "|" ";" LIBS "${LIBS}")
file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
foreach(lib IN LISTS LIBS)
  get_filename_component(name "${lib}" NAME)
  file(COPY_FILE "${lib}" "${OUT}/${name}")
  file(RPATH_SET FILE "${OUT}/${name}" NEW_RPATH [[$ORIGIN]])
endforeach()
