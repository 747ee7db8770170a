set(AREA_LIBS MurmoApp)
set(AREA_GUI ON)
set(AREA_OWN_UNITS tst_AppState.cpp tst_Migrations.cpp)
