# Run after a link: fails it when shell32.dll or ole32.dll is imported the ordinary way, so
# before the program has limited where libraries are searched (see delay_load.cmake).
#   cmake -DOBJDUMP=<objdump> -DEXECUTABLE=<exe> -P check_delay_loaded.cmake
execute_process(COMMAND ${OBJDUMP} -p ${EXECUTABLE} OUTPUT_VARIABLE headers RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p could not read ${EXECUTABLE}")
endif()
string(TOLOWER "${headers}" headers)
foreach(dll shell32.dll ole32.dll)
  if(headers MATCHES "dll name: ${dll}")
    # Removed, or the next build would find it up to date and skip this check.
    file(REMOVE ${EXECUTABLE})
    message(FATAL_ERROR "${EXECUTABLE} imports ${dll} the ordinary way: a function of it was "
      "linked from the plain import library instead of the delay-import one")
  endif()
endforeach()
