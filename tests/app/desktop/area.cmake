set(AREA_LIBS MurmoApp MurmoPlatformLinux)
