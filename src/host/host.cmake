# The host-interface layer: effect record, static entries, dispatchers, host requests.
add_library(ql_host STATIC
  ${CMAKE_CURRENT_LIST_DIR}/DAudioEffect.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DAudioEffectX.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DVstUtils.cpp)
target_include_directories(ql_host PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(ql_host PUBLIC ql_platform_base)
ql_warnings(ql_host)
