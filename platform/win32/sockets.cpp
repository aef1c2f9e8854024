#include <winsock2.h>

#include "platform/platform.h"
#include "platform/wait_split.h"

namespace krogw {
namespace {

// Windows socket handles are small kernel handle values and never 0; they fit the
// int32 slots of the driver's context.
SOCKET ToSocket(PlatformSocket socket) {
    return static_cast<SOCKET>(socket);
}

int WaitFor(PlatformSocket socket, bool for_writing, int32_t timeout_ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(ToSocket(socket), &set);
    const SelectWait wait = SplitWaitMs(timeout_ms < 0 ? 0 : timeout_ms);
    timeval time_out{wait.seconds, wait.microseconds};
    const int result = for_writing ? select(0, nullptr, &set, nullptr, &time_out)
                                   : select(0, &set, nullptr, nullptr, &time_out);
    if (result == SOCKET_ERROR) {
        return -1;
    }
    return result > 0 ? 1 : 0;
}

}  // namespace

int PlatformNetStart() {
    WSADATA data;
    return WSAStartup(MAKEWORD(1, 1), &data);
}

int PlatformNetCleanup() {
    return WSACleanup() == 0 ? 0 : WSAGetLastError();
}

PlatformSocket PlatformSocketOpen() {
    const SOCKET handle = socket(AF_INET, SOCK_STREAM, 0);
    if (handle == INVALID_SOCKET || handle == 0) {
        return kInvalidSocket;
    }
    return static_cast<PlatformSocket>(handle);
}

bool PlatformSocketSetLingerZero(PlatformSocket socket) {
    const linger option{1, 0};
    return setsockopt(ToSocket(socket), SOL_SOCKET, SO_LINGER,
                      reinterpret_cast<const char*>(&option), sizeof option) == 0;
}

bool PlatformSocketSetNonBlocking(PlatformSocket socket) {
    u_long non_blocking = 1;
    return ioctlsocket(ToSocket(socket), static_cast<long>(FIONBIO), &non_blocking) == 0;
}

ConnectOutcome PlatformSocketConnect(PlatformSocket socket, const char* ipv4_text, uint16_t port) {
    if (ipv4_text == nullptr) {
        return ConnectOutcome::Failed;
    }
    const unsigned long host = inet_addr(ipv4_text);
    if (host == INADDR_NONE) {
        return ConnectOutcome::Failed;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = host;
    if (connect(ToSocket(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
        0) {
        return ConnectOutcome::Connected;
    }
    return WSAGetLastError() == WSAEISCONN ? ConnectOutcome::AlreadyConnected
                                           : ConnectOutcome::Failed;
}

int PlatformSocketSend(PlatformSocket socket, const void* data, int length) {
    const int sent = send(ToSocket(socket), static_cast<const char*>(data), length, 0);
    return sent == SOCKET_ERROR ? -1 : sent;
}

int PlatformSocketRecv(PlatformSocket socket, void* data, int length) {
    const int received = recv(ToSocket(socket), static_cast<char*>(data), length, 0);
    return received == SOCKET_ERROR ? -1 : received;
}

int PlatformSocketWaitReadable(PlatformSocket socket, int32_t timeout_ms) {
    return WaitFor(socket, false, timeout_ms);
}

int PlatformSocketWaitWritable(PlatformSocket socket, int32_t timeout_ms) {
    return WaitFor(socket, true, timeout_ms);
}

void PlatformSocketShutdown(PlatformSocket socket) {
    shutdown(ToSocket(socket), SD_BOTH);
}

void PlatformSocketClose(PlatformSocket socket) {
    closesocket(ToSocket(socket));
}

}  // namespace krogw
