# A short fuzz run of the project file reader for the test suite: the seeds
# in fuzz/project-seeds (among them files that once went wrong: a point at
# 1e15, values past their limits, a list of points repeated), 20 seconds,
# the project file dictionary.
# cmake -DFUZZER=... -DSEEDS=... -DWORK=... -P project_smoke.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(GLOB seeds ${SEEDS}/*.json)
file(COPY ${seeds} DESTINATION ${WORK})
execute_process(COMMAND ${FUZZER} -max_total_time=20 -timeout=20 -rss_limit_mb=2048 -max_len=4096
                        -dict=${CMAKE_CURRENT_LIST_DIR}/project.dict
                        -artifact_prefix=${WORK}/ ${WORK}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "project_fuzz нашёл сбой (код ${rc}); входные данные — в ${WORK}")
endif()
