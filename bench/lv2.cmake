# The LV2 plug-in's run() against the VST 2 processReplacing, both from the shipped files.
if(TARGET ql_lv2_dsp AND TARGET Quantaloop)
  ql_bench(bench_lv2 SOURCES ${CMAKE_CURRENT_LIST_DIR}/lv2.cpp LIBS ${CMAKE_DL_LIBS})
  target_compile_definitions(bench_lv2 PRIVATE QL_LV2_DSP="$<TARGET_FILE:ql_lv2_dsp>"
                             QL_VST_PLUGIN="$<TARGET_FILE:Quantaloop>")
  add_dependencies(bench_lv2 ql_lv2_dsp Quantaloop)
endif()
