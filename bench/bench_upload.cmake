# The fake gateway on loopback, which the uploads go to.
target_link_libraries(${name} PRIVATE MurmoTestSupport)
