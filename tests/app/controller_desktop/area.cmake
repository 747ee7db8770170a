set(AREA_LIBS MurmoApp MurmoPlatformLinux)
set(AREA_GUI ON)
set(AREA_LABELS desktop)
