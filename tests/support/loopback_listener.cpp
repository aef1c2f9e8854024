#include "tests/support/loopback_listener.h"

#include <stdexcept>

#if defined(_WIN32)
#include <winsock2.h>
using RawSocket = SOCKET;
using socklen_t = int;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
using RawSocket = int;
#endif

namespace krogw::test {
namespace {

RawSocket Raw(intptr_t handle) {
    return static_cast<RawSocket>(handle);
}

void CloseRaw(intptr_t handle) {
#if defined(_WIN32)
    closesocket(Raw(handle));
#else
    close(Raw(handle));
#endif
}

}  // namespace

LoopbackListener::LoopbackListener(const char* address, uint16_t port, int receive_buffer_bytes)
    : address_(address) {
    PlatformNetStart();
    const RawSocket raw = socket(AF_INET, SOCK_STREAM, 0);
    handle_ = static_cast<intptr_t>(raw);
    if (handle_ < 0) {
        throw std::runtime_error("listener socket");
    }
    const int reuse = 1;
    setsockopt(raw, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
    if (receive_buffer_bytes > 0) {
        setsockopt(raw, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receive_buffer_bytes),
                   sizeof receive_buffer_bytes);
    }
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    bound.sin_port = htons(port);
    bound.sin_addr.s_addr = inet_addr(address);
    if (bind(raw, reinterpret_cast<const sockaddr*>(&bound), sizeof bound) != 0 ||
        listen(raw, 16) != 0) {
        CloseRaw(handle_);
        throw std::runtime_error(std::string("cannot listen on ") + address);
    }
    socklen_t length = sizeof bound;
    getsockname(raw, reinterpret_cast<sockaddr*>(&bound), &length);
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
