// The listening side of the simulated gateway: one IPv4 address and port, an accept
// thread that obeys the connection faults (refused or slow accepts), and the set of
// live connections, addressed by their number.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/gwsim/connection.h"
#include "tools/gwsim/faults.h"
#include "tools/gwsim/types.h"

namespace gwsim {

class Server {
  public:
    Server(std::string address, uint16_t port, size_t max_queued_bytes, Faults& faults,
           Connection::MessageHandler on_message, Connection::ClosedHandler on_closed, LogSink log,
           LogSink traffic_log);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Listens at once; throws std::runtime_error when the address cannot be bound.
    void Start();
    // Closes the listener, resets every connection and waits for their threads; Start
    // listens again on the same address and port.
    void Stop();

    // False when the connection is gone, or dropped because its client stopped reading.
    bool Send(int connection, std::vector<uint8_t> message, const OutgoingPlan& plan);
    void CloseAll();
    // Resets one connection (linger 0); nothing when it is gone.
    void Reset(int connection);
    uint16_t port() const { return port_; }

  private:
    void AcceptLoop();
    void AcceptOne();
    int OpenListener();
    void CloseListener();
    // Destroys the connections whose reader has ended.
    void Reap();
    // Sleeps unless stopped meanwhile; false when stopped.
    bool Pause(int ms);
    void Log(const std::string& line) const;

    const std::string address_;
    uint16_t port_;
    const size_t max_queued_bytes_;
    Faults& faults_;
    Connection::MessageHandler on_message_;
    Connection::ClosedHandler on_closed_;
    LogSink log_;
    LogSink traffic_log_;  // connections accepted; empty when that category is off

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::map<int, std::unique_ptr<Connection>> connections_;
    int next_connection_ = 1;
    int listen_fd_ = -1;  // the accept thread's own after Start
    std::thread acceptor_;
};

}  // namespace gwsim
