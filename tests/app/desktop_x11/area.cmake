set(AREA_LIBS MurmoApp MurmoPlatformLinux X11 Xtst)
set(AREA_GUI ON)
set(AREA_LABELS desktop)
set(AREA_TIMEOUT 240)
