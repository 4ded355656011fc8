# Writes bmstool's manual page from its own help texts, so the page never
# says something the program does not:
#   cmake -DTOOL=path/to/bmstool -DVERSION=x.y -DOUT=bmstool.1 -P ManPage.cmake
# leaves bmstool.1.gz.

# Text as roff: backslashes escaped, a line starting with . or ' kept as text.
function(bms_roff_text text out_var)
    string(REPLACE "\\" "\\e" text "${text}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
    set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

function(bms_help out_var)
    execute_process(COMMAND "${TOOL}" ${ARGN}
                    OUTPUT_VARIABLE help ERROR_VARIABLE help RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${TOOL} ${ARGN} failed (${rc}): ${help}")
    endif()
    string(STRIP "${help}" help)
    bms_roff_text("${help}" help)
    set(${out_var} "${help}" PARENT_SCOPE)
endfunction()

bms_help(overview --help)
# The command names: the indented first words of the lines after "commands:".
string(REGEX MATCH "commands:\n(.*)" command_block "${overview}")
string(REGEX MATCHALL "\n  [a-z][a-z-]*" command_lines "\n${CMAKE_MATCH_1}")
if(NOT command_lines)
    message(FATAL_ERROR "no command list in the help of ${TOOL}")
endif()

string(TIMESTAMP today "%Y-%m-%d" UTC)
set(page ".TH BMSTOOL 1 \"${today}\" \"BMS Host ${VERSION}\" \"User Commands\"
.SH NAME
bmstool \\- talk to lithium battery packs on an RS485 bus from the command line
.SH SYNOPSIS
.B bmstool
[\\fIOPTIONS\\fR] \\fICOMMAND\\fR [\\fIARGS\\fR]
.SH DESCRIPTION
.nf
${overview}
.fi
.SH COMMANDS
")
foreach(line IN LISTS command_lines)
    string(STRIP "${line}" command)
    bms_help(command_help ${command} --help)
    string(APPEND page ".SS ${command}\n.nf\n${command_help}\n.fi\n")
endforeach()
string(APPEND page ".SH FILES
.TP
.I BMS.ini
settings and port names; beside the program when its folder can be written,
otherwise in \\fI~/.local/share/BMS Host/bmshost/\\fR.
.SH SEE ALSO
.BR bmshost (1),
.BR bms-sim (1)
")
# Installed compressed, as manual pages are on Debian.
file(WRITE "${OUT}" "${page}")
execute_process(COMMAND gzip -9nf "${OUT}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "gzip ${OUT} failed")
endif()
