// A bare client of the gateway protocol for tests of the simulator: whole messages built
// with the frame codec, sent and read on a blocking socket with bounded waits.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "gateway/frame.h"

namespace gwsim::test {

using Bytes = std::vector<uint8_t>;

// A request as the driver builds it: the frame of its opcode, the body, aux_word.
Bytes Message(uint32_t opcode, uint16_t channel_id, const Bytes& body, uint16_t aux_word = 0);
// The 16-byte body of polls and writes, optionally followed by data.
Bytes RangeBody(uint16_t rtu, uint8_t table, uint8_t first_row, uint8_t rows, uint8_t column,
                uint8_t columns, const Bytes& data = {});

class GwClient {
  public:
    // Connects within a second; connected() tells whether it worked.
    explicit GwClient(const std::string& address, uint16_t port = krogw::kGatewayPort);
    ~GwClient();
    GwClient(const GwClient&) = delete;
    GwClient& operator=(const GwClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    void Send(const Bytes& message);
    // One whole message, or nullopt when none came within the time-out.
    std::optional<Bytes> Receive(int timeout_ms = 2000);
    std::optional<Bytes> Exchange(const Bytes& message, int timeout_ms = 2000);
    // The bytes of one receive call, empty after the time-out or at the end of the stream.
    Bytes ReceiveSome(int timeout_ms);
    // True when the gateway closes the connection within the time-out.
    bool WaitClosed(int timeout_ms);
    // Opens a channel of the type and returns the channel id from the reply (0 on failure).
    uint16_t OpenChannel(uint8_t type, const std::string& name = "QIV_1_01");

  private:
    bool ReadExact(uint8_t* into, size_t length, int timeout_ms);

    int fd_ = -1;
};

inline krogw::GwFrame FrameOf(const Bytes& message) {
    krogw::GwFrame frame{};
    krogw::ReadGwFrame(message.data(), message.size(), &frame);
    return frame;
}

// The bytes of a message from offset on.
inline Bytes Tail(const Bytes& message, size_t offset) {
    return offset < message.size()
               ? Bytes(message.begin() + static_cast<long>(offset), message.end())
               : Bytes{};
}

}  // namespace gwsim::test
