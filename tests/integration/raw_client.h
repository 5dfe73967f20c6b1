#pragma once
// A bare client for the update server's tests: raw request bytes out, raw answer bytes in.
#include <chrono>
#include <string>

namespace vaultaide::testing {

// A connection to 127.0.0.1:port, or -1; receiveBuffer: a small window, so the server cannot
// push a large file into the kernel.
int connectTo(int port, int receiveBuffer = 0);

// What the server sends until it closes the connection (closed) or wait runs out.
std::string receiveAll(int fd, std::chrono::milliseconds wait, bool* closed = nullptr);

// One request on a new connection; halfClose: the client shuts its sending side after it.
std::string exchangeRaw(int port, const std::string& request,
                        std::chrono::milliseconds wait = std::chrono::seconds(5),
                        bool halfClose = false, bool* closed = nullptr);

// The target of a version request sealed around plaintext with the built-in keys.
std::string sealedRequest(const std::string& plaintext);

}  // namespace vaultaide::testing
