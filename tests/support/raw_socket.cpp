#include "tests/support/raw_socket.h"

#include <cerrno>
#include <cstring>

namespace krogw::test {

size_t ReadableBytes(intptr_t handle) {
#if defined(_WIN32)
    u_long count = 0;
    return ioctlsocket(Raw(handle), FIONREAD, &count) == 0 ? count : 0;
#else
    int count = 0;
    return ioctl(Raw(handle), FIONREAD, &count) == 0 && count > 0 ? static_cast<size_t>(count) : 0;
#endif
}

std::string LastSocketError() {
#if defined(_WIN32)
    const int code = WSAGetLastError();
    return code == WSAEADDRINUSE      ? "address already in use"
           : code == WSAEADDRNOTAVAIL ? "address not available"
                                      : "Windows Sockets error " + std::to_string(code);
#else
    return std::strerror(errno);
#endif
}

intptr_t ListenOn(const char* address, uint16_t port, bool reuse, std::string& why,
                  int receive_buffer_bytes) {
    const RawSocket raw = socket(AF_INET, SOCK_STREAM, 0);
    const auto handle = static_cast<intptr_t>(raw);
    if (handle < 0) {
        why = LastSocketError();
        return -1;
    }
#if !defined(_WIN32)
    fcntl(raw, F_SETFD, FD_CLOEXEC);  // programs a test starts hold nothing of it
#endif
    if (reuse) {
        const int on = 1;
        setsockopt(raw, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
    }
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
        why = LastSocketError();
        CloseRaw(handle);
        return -1;
    }
    return handle;
}

}  // namespace krogw::test
