# The tests call libopus and libogg directly to build streams the encoder never would.
set(AREA_LIBS PkgConfig::OPUS PkgConfig::OGG)
set(AREA_TIMEOUT 600)
set(AREA_OWN_UNITS tst_OGGDecoder.cpp tst_OGGEncoder.cpp tst_OpusHeaders.cpp)
