# The real program, the helper window it types into, and the desktop parts of the tests that drive
# both: keys through XTest, the program in a throw-away home, the field read over AT-SPI.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
target_link_libraries(${name} PRIVATE MurmoApp MurmoPlatformLinux MurmoTestSupport Qt6::Widgets Qt6::Test X11 Xtst)
target_sources(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests/app/program_desktop/MurmoProcess.cpp"
                               "${PROJECT_SOURCE_DIR}/tests/app/desktop/hotkeys_x11/XTestKeyboard.cpp"
                               "${PROJECT_SOURCE_DIR}/tests/app/desktop/insertion_x11/DesktopPorts.cpp"
                               "${PROJECT_SOURCE_DIR}/tests/app/desktop/insertion_x11/FieldHelper.cpp")
add_dependencies(${name} murmo murmo_field_helper)
# The field helper is looked for in helpers/ beside the running program, as the tests have it.
add_custom_command(
    TARGET ${name}
    POST_BUILD
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_CURRENT_BINARY_DIR}/helpers"
    COMMAND "${CMAKE_COMMAND}" -E create_symlink "$<TARGET_FILE:murmo_field_helper>"
            "${CMAKE_CURRENT_BINARY_DIR}/helpers/murmo_field_helper")
