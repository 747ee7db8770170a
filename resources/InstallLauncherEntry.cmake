# Run by "cmake --install": installs the launcher entry (murmo.desktop) with its Exec line naming
# the installed program by its full path. MURMO_DESKTOP_TEMPLATE, MURMO_BINDIR and MURMO_STAGING
# are set by app/CMakeLists.txt.
if(IS_ABSOLUTE "${MURMO_BINDIR}")
    set(program "${MURMO_BINDIR}/murmo")
else()
    set(program "${CMAKE_INSTALL_PREFIX}/${MURMO_BINDIR}/murmo")
endif()
if(program MATCHES "[\n\r\t]")
    message(FATAL_ERROR "cannot name ${program} in a launcher entry")
endif()

# The path as one quoted argument, as desktop entries write it: inside the quotes a backslash goes
# before " ` $ and \; then, as in every string value of the file, each backslash is doubled; and
# a literal % is written %%, the rest being field codes.
set(quoted "${program}")
string(REPLACE "\\" "\\\\" quoted "${quoted}")
string(REPLACE "\"" "\\\"" quoted "${quoted}")
string(REPLACE "`" "\\`" quoted "${quoted}")
string(REPLACE "$" "\\$" quoted "${quoted}")
string(REPLACE "\\" "\\\\" quoted "${quoted}")
string(REPLACE "%" "%%" quoted "${quoted}")

file(READ "${MURMO_DESKTOP_TEMPLATE}" entry)
string(REPLACE "\nExec=murmo " "\nExec=\"${quoted}\" " entry "${entry}")
if(NOT entry MATCHES "\nExec=\"")
    message(FATAL_ERROR "${MURMO_DESKTOP_TEMPLATE} has no \"Exec=murmo\" line")
endif()
file(WRITE "${MURMO_STAGING}/murmo.desktop" "${entry}")
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications" TYPE FILE FILES "${MURMO_STAGING}/murmo.desktop")
