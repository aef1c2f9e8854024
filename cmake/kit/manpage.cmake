# Writes a manual page from a program's --help:
#   cmake -DPROGRAM=... -DNAME=... -DVERSION=... -DSUMMARY=... -DOUTPUT=... -P manpage.cmake
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help exited with ${status}")
endif()
string(REPLACE "\\" "\\e" help "${help}")
# A line that begins with . or ' would be a roff request.
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
file(WRITE ${OUTPUT} ".TH ${NAME} 1 \"\" \"krogw ${VERSION}\" \"krogw\"\n"
                     ".SH NAME\n${NAME} \\- ${SUMMARY}\n"
                     ".SH DESCRIPTION\n.nf\n${help}.fi\n")
