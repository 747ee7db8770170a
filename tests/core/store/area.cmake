# The crash test starts and kills this executable as a child a number of times.
set(AREA_TIMEOUT 300)
