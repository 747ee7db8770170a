target_link_libraries(${name} PRIVATE X11)
# The baseline program; not a bench_ program itself, so it is only ever started by this one.
find_package(Qt6 REQUIRED COMPONENTS Gui Widgets Svg Multimedia DBus Network WebSockets Concurrent)
add_executable(murmo_bare_window "${CMAKE_CURRENT_SOURCE_DIR}/bare_window.cpp")
# Every module murmo links is loaded at start, as murmo's are, though the window uses few.
target_link_options(murmo_bare_window PRIVATE "LINKER:--no-as-needed")
target_link_libraries(murmo_bare_window PRIVATE Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Svg Qt6::Multimedia Qt6::DBus
                                                Qt6::Network Qt6::WebSockets Qt6::Concurrent)
add_dependencies(${name} murmo_bare_window murmo)
target_sources(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests/app/launch_desktop/X11Windows.cpp")
