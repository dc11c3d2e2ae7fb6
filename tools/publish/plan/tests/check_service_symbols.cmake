# Fails unless the archive LIBRARY refers to each of the service's schedule and
# due-test functions that the plan runs (undefined: taken from plumix_core at
# link time) and none of its objects defines a function of the service's
# schedule and due-test rules by name: no global definition, no static or
# anonymous-namespace copy, no member of that name. The native tests build
# without optimisation, so a copy in use keeps its symbol. One line per
# reason. Run with cmake -DNM=... -DLIBRARY=... -P.
set(called RandomStartBoundary RandomStartTime RepetitionIntervalMinutes IsUpdateCheckDueAt)
set(rules RandomStartBoundary RandomStartTime RepetitionIntervalMinutes RepetitionIntervalText
          SchedulerVersionFor IsUpdateCheckDueAt)

execute_process(COMMAND ${NM} -C ${LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} could not read ${LIBRARY}")
endif()
string(REPLACE ";" "," symbols "${symbols}")
string(REPLACE "\n" ";" lines "${symbols}")

set(reasons "")
foreach(function IN LISTS rules)
  foreach(line IN LISTS lines)
    # A defined symbol has an address; the name may carry any scope.
    if(line MATCHES "^[0-9a-fA-F]+ [A-Za-z] (.*::)?${function}[[(]")
      string(APPEND reasons "${LIBRARY} defines its own ${function}: ${line}\n")
    endif()
  endforeach()
endforeach()
foreach(function IN LISTS called)
  if(NOT symbols MATCHES " U ${function}[[(]")
    string(APPEND reasons "${LIBRARY} does not call the service's ${function}\n")
  endif()
endforeach()
if(NOT reasons STREQUAL "")
  message(FATAL_ERROR "${reasons}")
endif()
message(STATUS "the plan calls the service's schedule and due-test functions and defines none")
