set(AREA_LIBS MurmoApp MurmoPlatformLinux X11 Xtst)
set(AREA_GUI ON)
set(AREA_LABELS desktop)
# The XTest keyboard, the field helper's driver and its wait for the front, shared with the desktop
# adapters' own tests.
list(APPEND area_sources "${PROJECT_SOURCE_DIR}/tests/app/desktop/hotkeys_x11/XTestKeyboard.cpp"
                         "${PROJECT_SOURCE_DIR}/tests/app/desktop/insertion_x11/DesktopPorts.cpp"
                         "${PROJECT_SOURCE_DIR}/tests/app/desktop/insertion_x11/FieldHelper.cpp")
