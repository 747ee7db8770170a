# The transport reaches its connections' sockets through the Linux adapter.
set(AREA_LIBS MurmoPlatformLinux)
