# SPDX-License-Identifier: Apache-2.0
# cmake -DNM=... -DTARGET=avx2 -DOBJECTS="a.o;..." -P batch_kernels_test.cmake
# The kernels compiled for one instruction set define nothing outside that
# set's namespace: a function the linker took from them for code of another
# set would run instructions the processor may not have.
foreach(object IN LISTS OBJECTS)
  execute_process(COMMAND ${NM} -C --defined-only ${object} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${NM} failed on ${object}")
  endif()
  string(REPLACE "\n" ";" lines "${symbols}")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^[0-9a-f]+ [TtWwVvuDdRrBb] (.*)$")
      continue()
    endif()
    set(symbol "${CMAKE_MATCH_1}")
    # Local labels, and the references to the personality routine that
    # unwinding tables take, are no code.
    if(NOT symbol MATCHES "batch::${TARGET}::" AND NOT symbol MATCHES "^(\\.L|DW\\.ref\\.)")
      message(FATAL_ERROR "${object} (${TARGET}) defines ${symbol}")
    endif()
  endforeach()
endforeach()
