set(AREA_LIBS MurmoPlatform MurmoPlatformLinux)
