# The real program started over lexicons of several sizes, a fake gateway on loopback for its sync,
# its window found through X11.
target_link_libraries(${name} PRIVATE MurmoTestSupport X11)
target_sources(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests/app/launch_desktop/X11Windows.cpp")
add_dependencies(${name} murmo)
