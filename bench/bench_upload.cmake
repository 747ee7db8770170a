# The fake gateway on loopback, which the uploads go to; the transport's sockets through the
# Linux adapter, as the program has them.
target_link_libraries(${name} PRIVATE MurmoTestSupport MurmoPlatformLinux)
