// A scripted gateway peer for tests: it accepts connections, reads whole requests
// and answers each with the next prepared delivery, which may come whole, cut into
// pieces with pauses, oversized, or not at all.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "tests/support/gw_message.h"
#include "tests/support/loopback_listener.h"

namespace krogw::test {

// A message as the peer sends it: cut at the given offsets, with a pause before each
// further piece. Empty bytes: nothing is sent.
struct Delivery {
    Bytes bytes;
    std::vector<size_t> cuts;
    int32_t pause_ms = 0;
};

// Sends the delivery on a socket; false, soon, when a piece cannot go out.
bool Deliver(PlatformSocket socket, const Delivery& delivery);

// Reads one whole gateway message (header, then the rest of total_length); empty when
// none arrived within the time-out.
Bytes ReadMessage(PlatformSocket socket, int32_t timeout_ms);

// A socket as the driver makes one: non-blocking, connected to address:port.
PlatformSocket ConnectLikeDriver(const char* address, uint16_t port);

// Limits the kernel's send buffer of a socket, so that a large send is taken in part.
void LimitSendBuffer(PlatformSocket socket, int bytes);

// A request as the peer read it, with the connection it came on (0 = first accepted).
struct ReceivedRequest {
    int connection;
    Bytes bytes;
};

class ScriptedGateway {
  public:
    // Port 0 picks a free port; the driver's own connections need kGatewayPort.
    explicit ScriptedGateway(const char* address, uint16_t port = 0);
    ~ScriptedGateway();
    ScriptedGateway(const ScriptedGateway&) = delete;
    ScriptedGateway& operator=(const ScriptedGateway&) = delete;

    const char* address() const { return listener_.address(); }
    uint16_t port() const { return listener_.port(); }

    // The answer to the next request that has none yet.
    void Answer(Delivery delivery);
    void Answer(Bytes message) { Answer(Delivery{std::move(message), {}, 0}); }

    std::vector<ReceivedRequest> Requests() const;
    int Connections() const { return connections_.load(); }
    // Waits until `count` requests have arrived or the time-out passed.
    bool WaitForRequests(size_t count, int32_t timeout_ms) const;

  private:
    void Serve();

    LoopbackListener listener_;
    mutable std::mutex mutex_;
    std::deque<Delivery> answers_;
    std::vector<ReceivedRequest> requests_;
    std::vector<PlatformSocket> accepted_;
    std::atomic<int> connections_{0};
    std::atomic<bool> stop_{false};
    std::thread server_;
};

}  // namespace krogw::test
