# Starts the built murmo program (build/.../app/murmo) in the headless desktop and uses it as a
# person would: keys and clicks through XTest, speech into the virtual microphone, text into
# another window, and what it shows read through the AT-SPI bus as a screen reader does.
find_package(PkgConfig REQUIRED)
pkg_check_modules(PROGRAM_ATSPI REQUIRED IMPORTED_TARGET atspi-2 gobject-2.0 glib-2.0)
set(AREA_LIBS MurmoApp MurmoPlatformLinux X11 Xtst PkgConfig::PROGRAM_ATSPI)
set(AREA_GUI ON)
set(AREA_LABELS desktop)
set(AREA_TIMEOUT 600)
set(AREA_NEEDS murmo murmo_field_helper)
list(APPEND area_sources "${PROJECT_SOURCE_DIR}/tests/app/desktop/hotkeys_x11/XTestKeyboard.cpp"
                         "${PROJECT_SOURCE_DIR}/tests/app/desktop/insertion_x11/DesktopPorts.cpp"
                         "${PROJECT_SOURCE_DIR}/tests/app/desktop/insertion_x11/FieldHelper.cpp"
                         "${PROJECT_SOURCE_DIR}/tests/app/launch_desktop/AccessibleButtons.cpp")
