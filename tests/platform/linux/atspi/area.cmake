set(AREA_LIBS MurmoPlatform)
