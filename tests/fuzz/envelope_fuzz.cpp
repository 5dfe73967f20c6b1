// The server's answer as the version check takes it: the envelope text opened with the
// built-in keys, then the JSON inside read.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/native/iconv_text_encoding.h"
#include "protocol/built_in_keys.h"
#include "protocol/envelope.h"
#include "protocol/server_answer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vaultaide;
    const std::string answer(reinterpret_cast<const char*>(data), size);
    std::string plaintext;
    if (openServerAnswer(builtInEnvelopeKeys(), answer, plaintext)) {
        IconvTextEncoding encoding;
        ServerAnswer read;
        readServerAnswer(plaintext, encoding, read);
    }
    return 0;
}
