set(AREA_GUI ON)
set(AREA_LIBS MurmoApp MurmoPlatformLinux)
