# The baselines call libopus and libogg directly.
target_link_libraries(bench_ogg PRIVATE PkgConfig::OPUS PkgConfig::OGG)
