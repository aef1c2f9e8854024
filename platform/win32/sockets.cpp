#include <winsock2.h>
// After winsock2.h, which it needs.
#include <mstcpip.h>

#include "platform/ipv4_text.h"
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

// The result of a send or receive that moved nothing. select() reports a reset or
// closed connection as ready; the transfer then tells it apart from "not yet".
int FailureOfTransfer() {
    const int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINTR ? kSocketWouldBlock : kSocketError;
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
    // Like close-on-exec on POSIX: a child process of the host must not hold the
    // gateway's connections open.
    SetHandleInformation(reinterpret_cast<HANDLE>(handle), HANDLE_FLAG_INHERIT, 0);
    return static_cast<PlatformSocket>(handle);
}

bool PlatformSocketSetLingerZero(PlatformSocket socket) {
    const linger option{1, 0};
    return setsockopt(ToSocket(socket), SOL_SOCKET, SO_LINGER,
                      reinterpret_cast<const char*>(&option), sizeof option) == 0;
}

bool PlatformSocketSetKeepAlive(PlatformSocket socket, int32_t idle_seconds) {
    tcp_keepalive values{};
    values.onoff = 1;
    values.keepalivetime = static_cast<ULONG>(idle_seconds) * 1000u;
    values.keepaliveinterval = static_cast<ULONG>(kKeepAliveProbeGapS) * 1000u;
    DWORD returned = 0;
    return WSAIoctl(ToSocket(socket), SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0,
                    &returned, nullptr, nullptr) == 0;
}

bool PlatformSocketSetNonBlocking(PlatformSocket socket) {
    u_long non_blocking = 1;
    return ioctlsocket(ToSocket(socket), static_cast<long>(FIONBIO), &non_blocking) == 0;
}

ConnectOutcome PlatformSocketConnect(PlatformSocket socket, const char* ipv4_text, uint16_t port) {
    uint32_t host = 0;
    if (!ParseIpv4Text(ipv4_text, &host)) {
        return ConnectOutcome::Failed;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(host);
    if (connect(ToSocket(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
        0) {
        return ConnectOutcome::Connected;
    }
    return WSAGetLastError() == WSAEISCONN ? ConnectOutcome::AlreadyConnected
                                           : ConnectOutcome::Failed;
}

int PlatformSocketSend(PlatformSocket socket, const void* data, int length) {
    if (length < 0) {
        return kSocketError;
    }
    const int sent = send(ToSocket(socket), static_cast<const char*>(data), length, 0);
    return sent == SOCKET_ERROR ? FailureOfTransfer() : sent;
}

int PlatformSocketRecv(PlatformSocket socket, void* data, int length) {
    if (length < 0) {
        return kSocketError;
    }
    const int received = recv(ToSocket(socket), static_cast<char*>(data), length, 0);
    return received == SOCKET_ERROR ? FailureOfTransfer() : received;
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
