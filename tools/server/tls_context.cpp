#include "tls_context.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace vaultaide::tools {

ssl_ctx_st* makeTlsContext(const std::string& certificateFile, const std::string& keyFile,
                           std::string& error) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    const char* step = "cannot make a TLS context";
    if (ctx && SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) == 1) {
        step = "cannot read the certificate chain";
        if (SSL_CTX_use_certificate_chain_file(ctx, certificateFile.c_str()) == 1) {
            step = "cannot read the private key";
            if (SSL_CTX_use_PrivateKey_file(ctx, keyFile.c_str(), SSL_FILETYPE_PEM) == 1) {
                step = "the private key does not belong to the certificate";
                if (SSL_CTX_check_private_key(ctx) == 1) {
                    SSL_CTX_set_mode(
                        ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
                    return ctx;
                }
            }
        }
    }
    char detail[256] = "";
    ERR_error_string_n(ERR_get_error(), detail, sizeof detail);
    error = std::string(step) + " (" + certificateFile + ", " + keyFile + "): " + detail;
    SSL_CTX_free(ctx);
    return nullptr;
}

}  // namespace vaultaide::tools
