# A short fuzz run for the test suite: small real files as seeds, 30 seconds,
# the DXF dictionary; an input that takes more than 10 seconds counts as a hang.
# cmake -DFUZZER=... -DCORPUS=... -DWORK=... -P smoke.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
# The seeds are the project's own small corpus, so that the run needs nothing
# outside the repository.
# With them, drawings that once went wrong (spot heights of 1e308, a plan at 1e15 mm).
file(GLOB seeds ${CORPUS}/*.dxf ${CMAKE_CURRENT_LIST_DIR}/dxf-seeds/*.dxf)
file(COPY ${seeds} DESTINATION ${WORK})
execute_process(COMMAND ${FUZZER} -max_total_time=30 -timeout=10
                        -dict=${CMAKE_CURRENT_LIST_DIR}/dxf.dict -rss_limit_mb=2048 -max_len=8192
                        -artifact_prefix=${WORK}/ ${WORK}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "dxf_fuzz нашёл сбой (код ${rc}); входные данные — в ${WORK}")
endif()
