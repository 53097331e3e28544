# SPDX-License-Identifier: Apache-2.0
# cmake -DSCDOC=<scdoc> [-DGROFF=<groff>] [-DSOURCE_DATE_EPOCH=<seconds>] -DSOURCE=<page.scd>
#       -DOUTPUT_DIR=<dir> -P TwManual.cmake
# Writes <dir>/<name> (troff), <dir>/<name>.gz (gzip -9n: no name or time stamp) and, with
# GROFF, <dir>/<base>.txt (the page as plain text with CR LF line ends, for Windows).
get_filename_component(name ${SOURCE} NAME_WLE)
if(DEFINED SOURCE_DATE_EPOCH)
  set(ENV{SOURCE_DATE_EPOCH} ${SOURCE_DATE_EPOCH})
endif()
file(MAKE_DIRECTORY ${OUTPUT_DIR})
execute_process(COMMAND ${SCDOC} INPUT_FILE ${SOURCE} OUTPUT_VARIABLE page
                COMMAND_ERROR_IS_FATAL ANY)
# The page names paths, options and identifiers that a hyphen would break ("tarn-wick"); .TH
# turns hyphenation back on after scdoc's own .nh, so it is turned off again after it.
string(REGEX REPLACE "(\n\\.TH [^\n]*\n)" "\\1.nh\n" page "${page}")
file(WRITE ${OUTPUT_DIR}/${name} "${page}")
execute_process(COMMAND gzip -9nc ${OUTPUT_DIR}/${name} OUTPUT_FILE ${OUTPUT_DIR}/${name}.gz
                COMMAND_ERROR_IS_FATAL ANY)
if(DEFINED GROFF)
  get_filename_component(base ${name} NAME_WLE)
  # 78 columns, no overstriking for bold or underline: text any editor shows as it is.
  execute_process(COMMAND ${GROFF} -man -Tascii -rLL=78n -P-cbou ${OUTPUT_DIR}/${name}
                  OUTPUT_VARIABLE text COMMAND_ERROR_IS_FATAL ANY)
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${OUTPUT_DIR}/${base}.txt "${text}")
endif()
