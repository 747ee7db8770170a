set(AREA_LIBS MurmoApp MurmoPlatformLinux X11 Xtst)
set(AREA_GUI ON)
set(AREA_LABELS desktop)
set(AREA_TIMEOUT 240)
set(AREA_NEEDS murmo_field_helper)
# The hotkey tests' XTest keyboard types the hotkeys here too.
list(APPEND area_sources "${CMAKE_CURRENT_LIST_DIR}/../hotkeys_x11/XTestKeyboard.cpp"
                         "${CMAKE_CURRENT_LIST_DIR}/../hotkeys_x11/XTestKeyboard.h")
