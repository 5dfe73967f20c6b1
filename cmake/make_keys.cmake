# Makes the key folder DIR with PUBLISH keygen unless it already holds keys; keys are never
# replaced.
if(NOT EXISTS "${DIR}/envelope.key")
    execute_process(COMMAND "${PUBLISH}" keygen --out "${DIR}" RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "keygen failed")
    endif()
endif()
