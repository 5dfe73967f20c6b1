#pragma once
#include <string>

struct ssl_ctx_st;

namespace vaultaide::tools {

// A TLS server context (TLS 1.2 and later) with the certificate chain and key of two PEM files;
// null with a reason when they do not load or do not belong together.
ssl_ctx_st* makeTlsContext(const std::string& certificateFile, const std::string& keyFile,
                           std::string& error);

}  // namespace vaultaide::tools
