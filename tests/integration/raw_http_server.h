#pragma once
// A scripted HTTP server on 127.0.0.1 for the cases a well-behaved server never shows: it
// records each request head and answers with fixed bytes, or holds the connection open without
// a word until it is stopped; or it answers each request as a test function decides.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vaultaide::testing {

class RawHttpServer {
public:
    // What goes back to one request: bytes, then the connection closes or is held open (until
    // releaseHeld or the end of the server).
    struct Reply {
        std::string bytes;
        bool hold = false;
    };
    using Answer = std::function<Reply(const std::string& head)>;

    // response: the bytes sent back to every request; empty holds every connection open.
    explicit RawHttpServer(std::string response);
    explicit RawHttpServer(Answer answer);
    ~RawHttpServer();
    RawHttpServer(const RawHttpServer&) = delete;
    RawHttpServer& operator=(const RawHttpServer&) = delete;

    int port() const { return port_; }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> requests();  // request heads, in order
    void releaseHeld();                   // closes the connections held so far
    // For an answer function: sends bytes at once on the connection it is answering.
    bool sendNow(const std::string& bytes);

    static std::string response(int status, const std::string& body, bool withLength = true,
                                long announcedLength = -1);

private:
    void serve();

    Answer answer_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::vector<int> held_;
    int answering_ = -1;  // the connection the answer function is deciding about
    std::thread thread_;
};

}  // namespace vaultaide::testing
