# The folders of src/ and the folders each may include from: the layers of the tree. Every
# quoted include of every source must name a folder its own folder may use. Run by CTest as
#   cmake -DSOURCE_DIR=<src> -P CheckLayers.cmake
set(QL_LAYERS
  "core:core"
  "platform:platform"
  "skin:skin,platform"
  "editor:editor,skin,platform,core"
  "vst2/interface:vst2/interface"
  "vst2/base:vst2/base,vst2/interface,core,platform"
  "vst2/template:vst2/template,vst2/base,vst2/interface,core,platform"
  "vst2/plugin:vst2/plugin,vst2/template,vst2/base,vst2/interface,editor,core,platform"
  "lv2:lv2,editor,core"
  "clap:clap,editor,core"
  "vst3/interface:vst3/interface"
  "vst3/host:vst3/host,vst3/interface"
  "vst3/plugin:vst3/plugin,vst3/interface,editor,core")

get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)
set(problems "")
set(checked 0)
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
foreach(source ${sources})
  # The folder of the source: the longest layer name it lies in.
  set(layer "")
  set(allowed "")
  foreach(entry ${QL_LAYERS})
    string(REPLACE ":" ";" parts "${entry}")
    list(GET parts 0 name)
    list(GET parts 1 uses)
    string(LENGTH "${name}" n)
    string(LENGTH "${layer}" l)
    if(source MATCHES "^${name}/" AND n GREATER l)
      set(layer ${name})
      string(REPLACE "," ";" allowed "${uses}")
    endif()
  endforeach()
  if(NOT layer)
    list(APPEND problems "${source}: in no layer")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"")
  foreach(line ${includes})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([^\"]+)\".*" "\\1" path "${line}")
    math(EXPR checked "${checked} + 1")
    # Generated files and headers beside the source are the folder's own.
    if(NOT path MATCHES "/")
      continue()
    endif()
    set(ok FALSE)
    foreach(use ${allowed})
      if(path MATCHES "^${use}/[^/]+$")
        set(ok TRUE)
      endif()
    endforeach()
    if(NOT ok)
      list(APPEND problems "${source} (${layer}) includes ${path}")
    endif()
  endforeach()
endforeach()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "includes across the layers:\n  ${text}")
endif()
message(STATUS "${checked} includes of ${SOURCE_DIR} keep to the layers")
