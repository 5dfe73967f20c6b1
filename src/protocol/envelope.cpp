#include "protocol/envelope.h"

#include "platform/http.h"
#include "platform/kernel.h"
#include "protocol/http_settings.h"
#include "protocol/server_endpoint.h"

namespace vaultaide {

namespace {

void putLength16(std::string& out, size_t value) {
    out += static_cast<char>((value >> 8) & 0xFF);
    out += static_cast<char>(value & 0xFF);
}

unsigned byteAt(const std::string& bytes, size_t offset) {
    return static_cast<unsigned char>(bytes[offset]);
}

}  // namespace

bool sealEnvelope(const EnvelopeKeyPair& keys, const std::string& plaintext, std::string& text) {
    return sealEnvelope(
        [&keys](const std::string& messageKey, std::string& encryptedKey) {
            return rsaEncryptPublic(keys, messageKey, encryptedKey) == 0;
        },
        plaintext, text);
}

bool sealEnvelope(const MessageKeyEncryptor& encryptKey, const std::string& plaintext,
                  std::string& text) {
    const size_t c = plaintext.size() - plaintext.size() % 8 + 8;
    if (c + 158 > 0xFFFF) return false;  // the two-byte length fields bound the envelope
    const std::string messageKey = makeMessageKey();
    if (messageKey.size() != kMessageKeyBytes) return false;
    std::string encryptedKey;
    if (!encryptKey(messageKey, encryptedKey) || encryptedKey.size() != kEnvelopeKeyBytes)
        return false;
    const std::string ciphertext = tripleDesCbcEncrypt(messageKey, plaintext);
    const std::string digest = sha1Digest(plaintext);

    std::string bytes;
    bytes.reserve(162 + c);
    bytes += "\x30\x82";
    putLength16(bytes, c + 158);
    bytes += "\x04\x81\x80";
    bytes += encryptedKey;
    bytes += "\x04\x82";
    putLength16(bytes, c);
    bytes += ciphertext;
    bytes += "\x04\x81\x14";
    bytes += digest;
    text = hexEncode(bytes);
    return true;
}

namespace {

MessageKeyDecryptor decryptorOf(const EnvelopeKeyPair& keys) {
    return [&keys](const std::string& encryptedKey, std::string& messageKey) {
        return rsaDecryptPrivate(keys, encryptedKey, kMessageKeyBytes, messageKey) == 0;
    };
}

}  // namespace

bool openEnvelope(const EnvelopeKeyPair& keys, const std::string& text, std::string& plaintext) {
    return openEnvelope(decryptorOf(keys), text, plaintext);
}

bool openServerAnswer(const EnvelopeKeyPair& keys, const std::string& answer,
                      std::string& plaintext) {
    return openServerAnswer(decryptorOf(keys), answer, plaintext);
}

bool openEnvelope(const MessageKeyDecryptor& decryptKey, const std::string& text,
                  std::string& plaintext) {
    std::string bytes;
    if (!hexDecode(text, bytes)) return false;
    const size_t b = bytes.size();
    if (b <= 6) return false;
    const size_t k = byteAt(bytes, 6);
    // The key is always decrypted from 128 bytes, so another declared length cannot be right.
    if (k != kEnvelopeKeyBytes) return false;
    if (b < k + 11) return false;
    const size_t c = byteAt(bytes, k + 9) * 256 + byteAt(bytes, k + 10);
    if (b < k + c + 14) return false;
    const size_t d = byteAt(bytes, k + c + 13);
    if (k + c + 14 + d > b) return false;

    std::string messageKey;
    if (!decryptKey(bytes.substr(7, k), messageKey) || messageKey.size() > kMessageKeyBytes)
        return false;
    messageKey.resize(kMessageKeyBytes, '\0');  // a shorter key is zero-filled
    std::string decrypted;
    if (!tripleDesCbcDecrypt(messageKey, bytes.substr(k + 11, c), decrypted)) return false;
    if (d != kSha1Bytes) return false;
    if (sha1Digest(decrypted) != bytes.substr(k + c + 14, d)) return false;
    plaintext.swap(decrypted);
    return true;
}

bool openServerAnswer(const MessageKeyDecryptor& decryptKey, const std::string& answer,
                      std::string& plaintext) {
    std::string opened;
    if (!openEnvelope(decryptKey, answer.substr(0, answer.size() - answer.size() % 2), opened))
        return false;
    const auto zero = opened.find('\0');
    if (zero != std::string::npos) opened.resize(zero);
    plaintext.swap(opened);
    return true;
}

bool sendServerRequest(HttpTransport& http, Kernel& kernel, const EnvelopeKeyPair& keys,
                       const DownloadPath& endpoint, const std::string& path,
                       const std::string& plaintext, std::string& answer) {
    kernel.trace("strSendData:(" + plaintext + ")");
    std::string envelope;
    if (!sealEnvelope(keys, plaintext, envelope)) return false;
    auto client = http.openClient(serverExchangeSettings());
    if (endpoint.ipList.empty())
        return client->get(endpoint.ip + endpoint.port + path + envelope, answer) == kHttpOk;
    for (const auto& base : endpoint.ipList) {
        const std::string url = base + endpoint.port + path;
        kernel.trace("domain:(" + url + ")");
        if (client->get(url + envelope, answer) == kHttpOk) return true;
    }
    return false;
}

}  // namespace vaultaide
