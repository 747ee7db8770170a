set(AREA_LIBS X11)
set(AREA_LABELS desktop)
set(AREA_TIMEOUT 180)
set(AREA_NEEDS murmo)
# The test reads the program's accessibility tree the way a screen reader does.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LAUNCH_ATSPI REQUIRED IMPORTED_TARGET atspi-2 gobject-2.0 glib-2.0)
list(APPEND AREA_LIBS PkgConfig::LAUNCH_ATSPI)
