set(AREA_LIBS MurmoPlatformLinux)
set(AREA_LABELS desktop)
