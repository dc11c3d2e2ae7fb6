# Fails unless the archive LIBRARY refers to each of the service's schedule and
# due-test functions (undefined: taken from plumix_core at link time) and
# defines none of them. Run with cmake -DNM=... -DLIBRARY=... -P.
execute_process(COMMAND ${NM} -C ${LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} could not read ${LIBRARY}")
endif()
foreach(function RandomStartBoundary RandomStartTime RepetitionIntervalMinutes IsUpdateCheckDueAt)
  if(NOT symbols MATCHES " U ${function}[[(]")
    message(FATAL_ERROR "${LIBRARY} does not call the service's ${function}")
  endif()
  if(symbols MATCHES " [TtWw] ${function}[[(]")
    message(FATAL_ERROR "${LIBRARY} defines its own ${function}")
  endif()
endforeach()
message(STATUS "the plan calls the service's schedule and due-test functions and defines none")
