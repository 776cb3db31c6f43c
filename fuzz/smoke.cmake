# A short fuzz run for the test suite: small real files as seeds, 30 seconds,
# the DXF dictionary; an input that takes more than 10 seconds counts as a hang.
# cmake -DFUZZER=... -DCORPUS=... -DWORK=... -P smoke.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
foreach(f openscad_r12_noheader.dxf leica_disto_r12.dxf acadlt2_r12_ru_template.dxf
          cadman_r12_broken_handles.dxf acad_r13_binary_proxy.dxf acad_r13_dos932.dxf)
  file(COPY ${CORPUS}/${f} DESTINATION ${WORK})
endforeach()
execute_process(COMMAND ${FUZZER} -max_total_time=30 -timeout=10
                        -dict=${CMAKE_CURRENT_LIST_DIR}/dxf.dict -rss_limit_mb=2048 -max_len=8192
                        -artifact_prefix=${WORK}/ ${WORK}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "dxf_fuzz нашёл сбой (код ${rc}); входные данные — в ${WORK}")
endif()
