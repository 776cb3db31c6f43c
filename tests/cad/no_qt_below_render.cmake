# Fails when a source file below the renderer includes a Qt header: the engine
# and the operations must build and run without Qt.
foreach(dir cad model typing pickets sheet editor profile)
  file(GLOB_RECURSE sources "${ROOT}/src/${dir}/*.hpp" "${ROOT}/src/${dir}/*.h"
       "${ROOT}/src/${dir}/*.cpp")
  foreach(f ${sources})
    file(STRINGS "${f}" hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](Q|qt|Qt)")
    if(hits)
      list(APPEND offenders "${f}: ${hits}")
    endif()
  endforeach()
endforeach()
if(offenders)
  list(JOIN offenders "\n" text)
  message(FATAL_ERROR "Qt included below src/render:\n${text}")
endif()
message(STATUS "No Qt below src/render")
