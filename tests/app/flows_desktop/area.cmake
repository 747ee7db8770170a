set(AREA_LIBS MurmoApp MurmoPlatformLinux X11 Xtst)
set(AREA_GUI ON)
set(AREA_LABELS desktop)
set(AREA_TIMEOUT 180)
# The helper window and the real adapters, as the insertion tests drive them.
list(APPEND area_sources "${CMAKE_CURRENT_LIST_DIR}/../desktop/insertion_x11/DesktopPorts.cpp"
                         "${CMAKE_CURRENT_LIST_DIR}/../desktop/insertion_x11/DesktopPorts.h"
                         "${CMAKE_CURRENT_LIST_DIR}/../desktop/insertion_x11/FieldHelper.cpp"
                         "${CMAKE_CURRENT_LIST_DIR}/../desktop/insertion_x11/FieldHelper.h")
