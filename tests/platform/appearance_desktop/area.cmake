set(AREA_GUI ON)
set(AREA_LIBS MurmoPlatformLinux Qt6::DBus)
set(AREA_LABELS desktop)
set(AREA_TIMEOUT 60)
