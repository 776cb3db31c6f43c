# Without a window system the desktop program says so in Russian and ends
# with a non-zero code instead of aborting.
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb
          ${PROGRAM}
  RESULT_VARIABLE code
  ERROR_VARIABLE err
  TIMEOUT 60)
if(code EQUAL 0 OR NOT code MATCHES "^[0-9]+$")
  message(FATAL_ERROR "exit code ${code}, expected a failure code")
endif()
if(NOT err MATCHES "не удалось открыть оконную систему" OR NOT code EQUAL 3)
  message(FATAL_ERROR "no Russian message on stderr:\n${err}")
endif()
