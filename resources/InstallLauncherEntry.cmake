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

# The path as the Exec line's first argument. A desktop entry quotes an argument only when it holds
# a reserved character, and the plain form is the one every launcher reads: xdg-open without a
# named desktop takes the first word as it stands, quotes included. Quoted, a backslash goes before
# " ` $ and \ inside the quotes; then, as in every string value of the file, each backslash is
# doubled. Either way a literal % is written %%, the rest being field codes.
set(argument "${program}")
if(program MATCHES "[ \t\"'\\<>~|&;$*?#`()]")
    string(REPLACE "\\" "\\\\" argument "${argument}")
    string(REPLACE "\"" "\\\"" argument "${argument}")
    string(REPLACE "`" "\\`" argument "${argument}")
    string(REPLACE "$" "\\$" argument "${argument}")
    string(REPLACE "\\" "\\\\" argument "${argument}")
    set(argument "\"${argument}\"")
endif()
string(REPLACE "%" "%%" argument "${argument}")

file(READ "${MURMO_DESKTOP_TEMPLATE}" entry)
if(NOT entry MATCHES "\nExec=murmo ")
    message(FATAL_ERROR "${MURMO_DESKTOP_TEMPLATE} has no \"Exec=murmo\" line")
endif()
string(REPLACE "\nExec=murmo " "\nExec=${argument} " entry "${entry}")
file(WRITE "${MURMO_STAGING}/murmo.desktop" "${entry}")
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications" TYPE FILE FILES "${MURMO_STAGING}/murmo.desktop")
