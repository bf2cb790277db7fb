# Runs umc-decode on STREAM (found by its probe, no --codec) and checks that OUTPUT has as many
# bytes as REFERENCE: one picture per VOP, the visible size only. EMULATOR (cross builds) runs it.
execute_process(COMMAND ${EMULATOR} ${UMC_DECODE} ${STREAM} ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "umc-decode failed: ${result}")
endif()
file(SIZE ${OUTPUT} got)
file(SIZE ${REFERENCE} want)
if(NOT got EQUAL want)
    message(FATAL_ERROR "umc-decode wrote ${got} bytes, the reference has ${want}")
endif()
