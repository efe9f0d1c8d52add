# Install step: writes the desktop entry for the command <prefix>/bin/kivaro and installs it into
# <prefix>/share/applications. Needs KIVARO_DESKTOP_ENTRY_TEMPLATE (the entry with
# @KIVARO_DESKTOP_EXEC@) and KIVARO_DESKTOP_ENTRY_STAGED (where the filled entry is written
# first, in the build folder).

# The Exec value that runs `program` with no arguments. The program is always one quoted
# argument, so that spaces and the shell's characters stay in it: inside the quotes ", `, $ and
# \ take a backslash; % is a field code everywhere in the line, a literal one is %%. The value
# is then a string value like any other, whose \ is escaped once more (a \ in the path ends as
# four) and whose line breaks and tabs take their escapes.
function(kivaro_desktop_exec_value program out)
  string(REPLACE "\\" "\\\\" value "${program}")
  string(REPLACE "\"" "\\\"" value "${value}")
  string(REPLACE "`" "\\`" value "${value}")
  string(REPLACE "$" "\\$" value "${value}")
  string(REPLACE "%" "%%" value "${value}")
  string(REPLACE "\\" "\\\\" value "\"${value}\"")
  string(REPLACE "\n" "\\n" value "${value}")
  string(REPLACE "\t" "\\t" value "${value}")
  string(REPLACE "\r" "\\r" value "${value}")
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

kivaro_desktop_exec_value("${CMAKE_INSTALL_PREFIX}/bin/kivaro" KIVARO_DESKTOP_EXEC)
configure_file("${KIVARO_DESKTOP_ENTRY_TEMPLATE}" "${KIVARO_DESKTOP_ENTRY_STAGED}" @ONLY)
file(INSTALL "${KIVARO_DESKTOP_ENTRY_STAGED}" DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications")
