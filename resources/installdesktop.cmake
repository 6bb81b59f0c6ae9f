# Installs the menu entry naming the installed program by its full path, whatever the prefix
# chosen at install time (MARNIFEX_DESKTOP_ENTRY: the entry's source).
set(entry "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/applications/marnifex.desktop")
file(READ "${MARNIFEX_DESKTOP_ENTRY}" text)
string(REPLACE "Exec=marnifex" "Exec=\"${CMAKE_INSTALL_PREFIX}/bin/marnifex\"" text "${text}")
message(STATUS "Installing: ${entry}")
file(WRITE "${entry}" "${text}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${entry}")
