set(AREA_LIBS MurmoApp)
