#include "tests/support/loopback_listener.h"

#include <stdexcept>

#include "tests/support/raw_socket.h"

namespace krogw::test {

LoopbackListener::LoopbackListener(const char* address, uint16_t port, int receive_buffer_bytes)
    : address_(address) {
    PlatformNetStart();
    std::string why;
    handle_ = ListenOn(address, port, true, why, receive_buffer_bytes);
    if (handle_ < 0) {
        throw std::runtime_error("cannot listen on " + address_ + ":" + std::to_string(port) +
                                 ": " + why);
    }
    sockaddr_in bound{};
    RawLength length = sizeof bound;
    getsockname(Raw(handle_), reinterpret_cast<sockaddr*>(&bound), &length);
    port_ = ntohs(bound.sin_port);
}
LoopbackListener::~LoopbackListener() {
    CloseRaw(handle_);
}

PlatformSocket LoopbackListener::Accept(int32_t timeout_ms) {
    if (PlatformSocketWaitReadable(static_cast<PlatformSocket>(handle_), timeout_ms) != 1) {
        return 0;
    }
    const RawSocket accepted = accept(Raw(handle_), nullptr, nullptr);
    return static_cast<intptr_t>(accepted) < 0 ? 0 : static_cast<PlatformSocket>(accepted);
}

}  // namespace krogw::test
