# Drives the hotkey rows over the real X11 key watcher in the headless desktop
# (scripts/with-desktop), typing through XTest.
list(APPEND area_sources "${CMAKE_CURRENT_SOURCE_DIR}/app/desktop/hotkeys_x11/XTestKeyboard.cpp")
set(AREA_LIBS MurmoApp MurmoPlatformLinux X11 Xtst)
set(AREA_GUI ON)
set(AREA_LABELS desktop)
set(AREA_TIMEOUT 120)
# Another application's window, to be the one in front before the settings window.
list(APPEND area_sources "${CMAKE_CURRENT_SOURCE_DIR}/app/desktop/insertion_x11/FieldHelper.cpp")
