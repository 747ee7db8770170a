# Installs the launcher entry into a scratch home, registers it as the handler of "murmo:"
# addresses with scripts/register-handler and hands the built murmo program a browser sign-in's
# callback through the system's xdg-open, reading its buttons through the AT-SPI bus.
find_package(PkgConfig REQUIRED)
pkg_check_modules(HANDLER_ATSPI REQUIRED IMPORTED_TARGET atspi-2 gobject-2.0 glib-2.0)
set(AREA_LIBS X11 PkgConfig::HANDLER_ATSPI)
set(AREA_LABELS desktop)
set(AREA_TIMEOUT 240)
set(AREA_NEEDS murmo)
list(APPEND area_sources "${PROJECT_SOURCE_DIR}/tests/app/launch_desktop/AccessibleButtons.cpp"
                         "${PROJECT_SOURCE_DIR}/tests/app/launch_desktop/MurmoProcess.cpp"
                         "${PROJECT_SOURCE_DIR}/tests/app/launch_desktop/X11Windows.cpp")
