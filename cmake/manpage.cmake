# cmake -DEXE=program -DOUT=file.1 -DVERSION=x.y -P manpage.cmake
# The manual page, made from the program's own --help text so that the two
# never disagree.
execute_process(COMMAND ${EXE} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${EXE} --help failed")
endif()
# roff: a leading dot or quote would start a request; backslashes escape.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "\n([.'])" "\n\\\\&\\1" help "\n${help}")
string(TIMESTAMP year "%Y")
file(WRITE ${OUT} ".TH EB2250-GUI 1 \"${year}\" \"eb2250-gui ${VERSION}\" \"User Commands\"
.SH NAME
eb2250-gui \\- evaluate a stack of ZQM4417-2 battery-monitor boards
.SH DESCRIPTION
.nf
${help}
.fi
.SH FILES
.TP
.I /usr/lib/udev/rules.d/60-eb2250-bridge.rules
gives the logged-in user (and the plugdev group) access to the UB774B bridge.
")
