set(AREA_LIBS MurmoPlatformLinux)
set(AREA_LABELS desktop)
set(AREA_TIMEOUT 60)
