set(AREA_LIBS MurmoPlatformLinux)
