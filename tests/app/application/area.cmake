set(AREA_LIBS MurmoApp)
set(AREA_GUI ON)
