set(AREA_LIBS MurmoApp MurmoPlatformLinux X11 Xtst)
set(AREA_GUI ON)
set(AREA_LABELS desktop)
# The keyboard that types through XTest, shared with the hotkey engine's own desktop tests.
list(APPEND area_sources "${PROJECT_SOURCE_DIR}/tests/app/desktop/hotkeys_x11/XTestKeyboard.cpp")
