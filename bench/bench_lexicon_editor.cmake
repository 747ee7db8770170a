target_link_libraries(${name} PRIVATE MurmoApp MurmoTestSupport)
