# Starts the built murmo program (build/.../app/murmo) in the headless desktop and uses it as a
# person would: keys through XTest, speech into the virtual microphone, text into another window.
# Build murmo and murmo_field_helper first.
set(AREA_LIBS MurmoApp MurmoPlatformLinux X11 Xtst)
set(AREA_GUI ON)
set(AREA_LABELS desktop)
set(AREA_TIMEOUT 300)
list(APPEND area_sources "${PROJECT_SOURCE_DIR}/tests/app/desktop/hotkeys_x11/XTestKeyboard.cpp"
                         "${PROJECT_SOURCE_DIR}/tests/app/desktop/insertion_x11/DesktopPorts.cpp"
                         "${PROJECT_SOURCE_DIR}/tests/app/desktop/insertion_x11/FieldHelper.cpp")
