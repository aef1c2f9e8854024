// One accepted TCP connection: a reader thread that cuts the byte stream into whole
// gateway messages, and a writer thread that sends replies when they are due, whole or
// in pieces. The socket is closed only when the object is destroyed, after both threads
// have ended, so that its descriptor is never reused under a running thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/gwsim/faults.h"
#include "tools/gwsim/types.h"

namespace gwsim {

// The largest message the driver can take; a longer one ends the connection.
inline constexpr size_t kMaxMessageBytes = 8300;

class Connection {
  public:
    using MessageHandler = std::function<void(int connection, std::vector<uint8_t> message)>;
    using ClosedHandler = std::function<void(int connection)>;

    // More than max_queued_bytes waiting to be sent drops the connection.
    Connection(int fd, int id, size_t max_queued_bytes, MessageHandler on_message,
               ClosedHandler on_closed, LogSink log);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void Start();
    // Queues a message; the plan's delay and pieces apply, its other faults are the caller's.
    // False, and the connection closed, when the queue would exceed its bound.
    bool Send(std::vector<uint8_t> message, const OutgoingPlan& plan);
    // Shuts the socket down; both threads end soon after.
    void Close();
    // Close, and the socket's final close resets the connection (linger 0), as a gateway
    // whose service ended would.
    void Reset();
    // The reader has ended: the peer closed, the socket failed or Close was called.
    bool finished() const { return reader_done_; }

  private:
    struct Pending {
        std::chrono::steady_clock::time_point due;
        uint64_t sequence = 0;
        std::vector<uint8_t> bytes;
        size_t piece_bytes = 0;
        int pause_ms = 0;
    };

    void ReadLoop();
    void WriteLoop();
    bool ReadExact(uint8_t* into, size_t length);
    bool SendPieces(const Pending& pending);
    bool SendAll(const uint8_t* data, size_t length);
    void Log(const std::string& line) const;

    const int fd_;
    const int id_;
    const size_t max_queued_bytes_;
    MessageHandler on_message_;
    ClosedHandler on_closed_;
    LogSink log_;

    std::mutex mutex_;
    std::condition_variable wake_;
    bool closing_ = false;  // guarded by mutex_
    std::atomic<bool> stop_reading_{false};
    std::atomic<bool> reader_done_{false};
    std::vector<Pending> outbox_;
    size_t queued_bytes_ = 0;  // of the outbox
    uint64_t next_sequence_ = 0;
    std::thread reader_;
    std::thread writer_;
};

}  // namespace gwsim
