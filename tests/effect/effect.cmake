# The effect through the built library, as a host loads it.
ql_test(test_effect SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_effect.cpp
        ${CMAKE_CURRENT_LIST_DIR}/PluginLibrary.cpp LIBS ql_host)
target_include_directories(test_effect PRIVATE ${CMAKE_CURRENT_LIST_DIR})
add_dependencies(test_effect Quantaloop)

# The effect linked in: coefficients and allocation counting.
ql_test(test_effect_inproc SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_effect_inproc.cpp
        LIBS ql_effect)
