# The real microphone adapter over the headless desktop's sound server.
find_package(Qt6 REQUIRED COMPONENTS Multimedia)
target_link_libraries(${name} PRIVATE MurmoPlatformLinux Qt6::Multimedia)
