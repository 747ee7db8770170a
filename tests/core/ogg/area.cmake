# The tests call libopus and libogg directly to build streams the encoder never would.
set(AREA_LIBS PkgConfig::OPUS PkgConfig::OGG)
set(AREA_TIMEOUT 600)
