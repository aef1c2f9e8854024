// A listening TCP socket on a loopback address, for tests that need a peer.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace krogw::test {

class LoopbackListener {
  public:
    // Port 0 picks a free port. A receive buffer size above 0 is given to the
    // listening socket, and so to every connection it accepts.
    explicit LoopbackListener(const char* address, uint16_t port = 0, int receive_buffer_bytes = 0);
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    const char* address() const { return address_.c_str(); }
    uint16_t port() const { return port_; }
    // An accepted connection, or 0 when none came within the time-out.
    PlatformSocket Accept(int32_t timeout_ms);

  private:
    std::string address_;
    uint16_t port_ = 0;
    intptr_t handle_ = -1;
};

}  // namespace krogw::test
