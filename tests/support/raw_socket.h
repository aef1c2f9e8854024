// The system's own socket calls, for test peers that need more than the driver's
// platform layer offers (bind, listen, accept), on both platforms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#if defined(_WIN32)
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace krogw::test {

#if defined(_WIN32)
using RawSocket = SOCKET;
using RawLength = int;
#else
using RawSocket = int;
using RawLength = socklen_t;
#endif

inline RawSocket Raw(intptr_t handle) {
    return static_cast<RawSocket>(handle);
}

inline void CloseRaw(intptr_t handle) {
#if defined(_WIN32)
    closesocket(Raw(handle));
#else
    close(Raw(handle));
#endif
}

// How many received bytes the socket holds, ready to be read.
size_t ReadableBytes(intptr_t handle);

// The system's reason for the last failed socket call.
std::string LastSocketError();

// Binds a new socket to address:port and listens; the handle, or -1 with `why` set.
// Without `reuse`, no other socket can take the same address and port while it is open.
// A receive buffer size above 0 is given to the socket, and so to what it accepts.
intptr_t ListenOn(const char* address, uint16_t port, bool reuse, std::string& why,
                  int receive_buffer_bytes = 0);

}  // namespace krogw::test
