# The skin image widgets: pictures, image lists, compressors and the image controls.
# zlib is linked statically (Debian's libz.a natively, libz-mingw-w64-dev for the cross builds):
# the plug-in may not depend on a zlib DLL or shared object at run time.
find_library(QL_ZLIB_STATIC NAMES libz.a REQUIRED)
find_path(QL_ZLIB_INCLUDE zlib.h REQUIRED)

add_library(ql_skin STATIC
  ${CMAKE_CURRENT_LIST_DIR}/DIB.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DIBCompressor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DIBImageList.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DIBControls.cpp
)
ql_warnings(ql_skin)
target_include_directories(ql_skin PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_include_directories(ql_skin PRIVATE ${QL_ZLIB_INCLUDE})
target_link_libraries(ql_skin PUBLIC ${QL_ZLIB_STATIC})
if(TARGET ql_platform)
  target_link_libraries(ql_skin PUBLIC ql_platform)
endif()
