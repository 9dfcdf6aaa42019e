# The second build of the fast grid is compiled for processors with 512-bit vectors, so
# none of its code may run before WideGridAvailable has asked the processor: the object
# must hold no static initializer (run at start-up on every processor) and define no
# symbol but RunFastGridWide (an inline function defined there could be the copy the
# linker keeps for the whole program).
execute_process(COMMAND ${NM} -P ${OBJECT} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${OBJECT}")
endif()
string(REPLACE "\n" ";" lines "${symbols}")
set(found "")
foreach(line IN LISTS lines)
  if(line MATCHES "^([^ ]+) ([A-Za-z])")
    set(name "${CMAKE_MATCH_1}")
    if(name MATCHES "^_GLOBAL__sub_I" OR
       (CMAKE_MATCH_2 MATCHES "^[BCDGRSTVWiu]$" AND NOT name MATCHES "RunFastGridWide"))
      list(APPEND found "${line}")
    endif()
  endif()
endforeach()
if(found)
  string(REPLACE ";" "\n  " found "${found}")
  message(FATAL_ERROR "the wide grid's object runs or shares code outside RunFastGridWide:\n  ${found}")
endif()
message(STATUS "the wide grid's object defines RunFastGridWide alone")
