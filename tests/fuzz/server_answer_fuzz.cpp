// The opened answer's JSON: the "\u" pass into GBK and UTF-8, then the members read as text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/native/iconv_text_encoding.h"
#include "protocol/server_answer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vaultaide;
    IconvTextEncoding encoding;
    ServerAnswer answer;
    readServerAnswer(std::string(reinterpret_cast<const char*>(data), size), encoding, answer);
    return 0;
}
