# Writes OUTPUT, a C++ source holding the keys of KEY_DIR: the envelope key pair
# (envelope.key, NAME=hex lines) and the manifest verification key (manifest_public.pem).
file(STRINGS "${KEY_DIR}/envelope.key" lines)
set(fields "")
foreach(name N E D P Q DP DQ QP)
    set(value "")
    foreach(line IN LISTS lines)
        if(line MATCHES "^${name}=([0-9a-f]+)$")
            set(value "${CMAKE_MATCH_1}")
        endif()
    endforeach()
    if(value STREQUAL "")
        message(FATAL_ERROR "${KEY_DIR}/envelope.key has no ${name}")
    endif()
    string(APPEND fields "        \"${value}\",\n")
endforeach()
file(READ "${KEY_DIR}/manifest_public.pem" pem)
string(REPLACE "\n" "\\n\"\n    \"" pem "${pem}")
file(WRITE "${OUTPUT}.tmp" "// Generated from the build's key folder; do not edit.
#include \"protocol/built_in_keys.h\"

namespace vaultaide {

const EnvelopeKeyPair& builtInEnvelopeKeys() {
    static const EnvelopeKeyPair keys = {
${fields}    };
    return keys;
}

const char* builtInManifestPublicKey() {
    return \"${pem}\";
}

}  // namespace vaultaide
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
