# The effect and the shipped plug-in library.
add_library(ql_effect STATIC ${CMAKE_CURRENT_LIST_DIR}/uPlugin.cpp)
target_include_directories(ql_effect PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(ql_effect PUBLIC ql_template ql_processing ql_editor)
ql_warnings(ql_effect)

# Quantaloop.so / Quantaloop.dll: exports the entry only.
add_library(Quantaloop MODULE ${CMAKE_CURRENT_LIST_DIR}/Quantaloop.cpp)
target_link_libraries(Quantaloop PRIVATE ql_effect)
ql_warnings(Quantaloop)
set_target_properties(Quantaloop PROPERTIES PREFIX "" OUTPUT_NAME Quantaloop)
if(WIN32)
  # The .def names the one export; the runtime is linked statically (top level) and nothing
  # else is exported.
  target_sources(Quantaloop PRIVATE ${CMAKE_CURRENT_LIST_DIR}/Quantaloop.def)
  target_link_options(Quantaloop PRIVATE -Wl,--exclude-all-symbols -s)
else()
  set_target_properties(Quantaloop PROPERTIES SUFFIX ".so" C_VISIBILITY_PRESET hidden
                                              CXX_VISIBILITY_PRESET hidden)
  set(QL_EXPORTS_MAP ${CMAKE_CURRENT_LIST_DIR}/exports.map)
  target_link_options(Quantaloop PRIVATE -Wl,--version-script=${QL_EXPORTS_MAP}
                      -Wl,--no-undefined)
  set_property(TARGET Quantaloop APPEND PROPERTY LINK_DEPENDS ${QL_EXPORTS_MAP})
  if(NOT QL_SANITIZE)
    # Hosts load the plug-in without our C++ runtime next to it.
    target_link_options(Quantaloop PRIVATE -static-libstdc++ -static-libgcc)
  endif()
endif()
