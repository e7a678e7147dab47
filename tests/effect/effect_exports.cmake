# The plug-in's export table (and on Windows its imports), checked on the build machine with the
# binutils of the target, so that it runs in every build, cross builds included.
if(WIN32)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "i686|i386|x86$")
    set(QL_OBJDUMP_NAME i686-w64-mingw32-objdump)
  else()
    set(QL_OBJDUMP_NAME x86_64-w64-mingw32-objdump)
  endif()
  find_program(QL_EXPORTS_TOOL NAMES ${QL_OBJDUMP_NAME} REQUIRED NO_CMAKE_FIND_ROOT_PATH)
  set(QL_EXPORTS_KIND pe)
else()
  find_program(QL_EXPORTS_TOOL NAMES nm REQUIRED)
  set(QL_EXPORTS_KIND elf)
endif()
# The command is cmake itself, not a built target, so no emulator wraps it.
add_test(NAME plugin_exports
         COMMAND ${CMAKE_COMMAND} -DPLUGIN=$<TARGET_FILE:Quantaloop> -DTOOL=${QL_EXPORTS_TOOL}
                 -DKIND=${QL_EXPORTS_KIND} -P ${CMAKE_CURRENT_LIST_DIR}/CheckExports.cmake.in)
