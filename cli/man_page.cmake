# Writes the tool's manual page from its own --help texts, so that the two never disagree.
#   cmake -DTOOL=path/to/battery-analyzer-cli -DVERSION=x.y -DOUT=file.1 -P man_page.cmake

# roff reads a backslash as an escape and a line that starts with "." or "'" as a request.
function(roff_text text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(help_of out)
  execute_process(COMMAND "${TOOL}" ${ARGN} --help OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${TOOL} ${ARGN} --help failed: ${status}")
  endif()
  roff_text("${text}" text)
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

help_of(tool)
set(page ".TH BATTERY-ANALYZER-CLI 1 \"\" \"battery-analyzer-cli ${VERSION}\" \"User Commands\"
.SH NAME
battery-analyzer-cli \\- the battery analyzer and its reading files from the command line
.SH DESCRIPTION
.nf
${tool}.fi
.SH SUBCOMMANDS
")
# The subcommands are the names listed under "Subcommands:" in the tool's own help, each of
# one or two words ("pack show") before the two spaces that start its summary.
string(REGEX MATCH "Subcommands:\n(  [a-z][^\n]*\n)+" listed "${tool}")
string(REGEX MATCHALL "\n  [a-z][a-z-]+( [a-z]+)?  " names "${listed}")
foreach(name IN LISTS names)
  string(STRIP "${name}" name)
  string(REPLACE " " ";" words "${name}")
  help_of(text ${words})
  string(APPEND page ".SS ${name}\n.nf\n${text}.fi\n")
endforeach()
string(APPEND page ".SH SEE ALSO
.BR battery-analyzer (1)
")
file(WRITE "${OUT}" "${page}")
