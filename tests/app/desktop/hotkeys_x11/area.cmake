# Drives the real X11 key watcher in the headless desktop (scripts/with-desktop).
set(AREA_LIBS MurmoApp MurmoPlatformLinux X11 Xtst)
set(AREA_GUI ON)
set(AREA_LABELS desktop)
set(AREA_TIMEOUT 120)
