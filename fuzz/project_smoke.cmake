# A short fuzz run of the project file reader for the test suite: the seeds
# in fuzz/project-seeds, 20 seconds.
# cmake -DFUZZER=... -DSEEDS=... -DWORK=... -P project_smoke.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(GLOB seeds ${SEEDS}/*.json)
file(COPY ${seeds} DESTINATION ${WORK})
execute_process(COMMAND ${FUZZER} -max_total_time=20 -timeout=20 -rss_limit_mb=2048 -max_len=4096
                        -artifact_prefix=${WORK}/ ${WORK}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "project_fuzz нашёл сбой (код ${rc}); входные данные — в ${WORK}")
endif()
