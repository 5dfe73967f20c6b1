# Makes the key folder DIR with PUBLISH keygen unless it already holds keys; keys are never
# replaced, only their files' times renewed so the build sees them as current.
if(EXISTS "${DIR}/envelope.key")
    file(TOUCH "${DIR}/envelope.key" "${DIR}/manifest_public.pem")
else()
    execute_process(COMMAND "${PUBLISH}" keygen --out "${DIR}" RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "keygen failed")
    endif()
endif()
