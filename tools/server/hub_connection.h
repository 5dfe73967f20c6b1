#pragma once
// What the files of the connection hub share: a connection, an event thread and the limits of
// one turn.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "connection_hub.h"

namespace vaultaide::tools {

using Clock = std::chrono::steady_clock;

constexpr uint64_t kTurnBytes = 1024 * 1024;  // one connection's share of one event

struct ConnectionHub::Connection {
    enum class State { Reading, Sending, Lingering };
    int fd = -1;
    ssl_st* ssl = nullptr;
    bool handshakeDone = false;
    std::string peer;
    State state = State::Reading;
    uint32_t watched = 0;      // the epoll events asked for
    uint32_t wanted = 0;       // and those to ask for at the end of the batch
    std::string in;            // received and not yet taken as a head
    size_t searched = 0;       // how much of in is known to hold no blank line
    bool headStarted = false;  // bytes of a request (or a handshake) have arrived
    bool peerEnded = false;    // the client shut its sending side
    bool evicted = false;      // shut down by another thread to make room
    size_t requests = 0;
    Clock::time_point waitingSince, deadline;
    // The answer under way.
    Screening request;
    int status = 0;
    std::string note;
    bool keepOpen = false, download = false;
    std::string out;  // head, and body bytes from memory
    size_t outSent = 0;
    uint64_t headBytes = 0, written = 0;  // the head's size, and all bytes the socket took
    int file = -1;
    off_t fileOffset = 0;
    uint64_t fileLeft = 0;
    Clock::time_point windowStart;
    uint64_t windowDelivered = 0;
    Clock::time_point headAt;  // when the request's head was complete
};

struct ConnectionHub::Loop {
    int epoll = -1;
    // Held while the thread handles events, so another thread can look for a connection to
    // close when it needs room (waiting a batch's length at most: two threads at the limit
    // at once must not wait for each other).
    std::timed_mutex mutex;
    std::unordered_map<int, std::unique_ptr<Connection>> connections;
    bool accepting = true;
    Clock::time_point acceptAgain;
    std::thread thread;
    std::vector<int> unsent;   // answers made in this batch of events, sent at its end
    std::vector<int> rewatch;  // connections whose epoll events change at its end
};

// The method, target and version of a head that never became a whole request.
Screening requestLineOf(const std::string& buffer);
// The bytes the socket took that the client has not acknowledged yet (over TLS counted with
// the records' overhead, so a little more than the answer's bytes).
uint64_t unacknowledged(int fd);

}  // namespace vaultaide::tools
