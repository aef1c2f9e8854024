#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

#include "platform/ipv4_text.h"
#include "platform/platform.h"

namespace krogw {
namespace {

// Descriptor 0 would read as "not open"; move it out of the way.
int AvoidZero(int fd) {
    if (fd != 0) {
        return fd;
    }
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
    close(fd);
    return moved;
}

// A signal interrupting poll() is no answer: wait again for the time that is left.
// An error, a hang-up or a bad descriptor ends the wait at once; poll() reports
// them whatever was asked, and a caller that took them for readiness would spin.
int WaitFor(PlatformSocket socket, short events, int32_t timeout_ms) {
    const int64_t deadline = PlatformMonotonicMs() + (timeout_ms < 0 ? 0 : timeout_ms);
    for (;;) {
        pollfd entry{socket, events, 0};
        const int64_t left = deadline - PlatformMonotonicMs();
        const int result = poll(&entry, 1, left < 0 ? 0 : static_cast<int>(left));
        if (result < 0 && errno == EINTR) {
            continue;
        }
        if (result < 0) {
            return -1;
        }
        if (result == 0) {
            return 0;
        }
        if ((entry.revents & events) != 0) {
            return 1;  // data or end of stream first; a hang-up shows on the receive
        }
        return -1;
    }
}

// The result of a send or receive that moved nothing.
int FailureOfTransfer() {
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kSocketWouldBlock
                                                                     : kSocketError;
}

}  // namespace

int PlatformNetStart() {
    return 0;
}
int PlatformNetCleanup() {
    return 0;
}

PlatformSocket PlatformSocketOpen() {
    const int fd = AvoidZero(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return fd < 0 ? kInvalidSocket : fd;
}

bool PlatformSocketSetLingerZero(PlatformSocket socket) {
    const linger option{1, 0};
    return setsockopt(socket, SOL_SOCKET, SO_LINGER, &option, sizeof option) == 0;
}

bool PlatformSocketSetKeepAlive(PlatformSocket socket, int32_t idle_seconds) {
    const int on = 1;
    const int idle = idle_seconds;
    const int gap = kKeepAliveProbeGapS;
    const int probes = kKeepAliveProbes;
    bool set = setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0;
#ifdef TCP_KEEPIDLE
    set = setsockopt(socket, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) == 0 && set;
    set = setsockopt(socket, IPPROTO_TCP, TCP_KEEPINTVL, &gap, sizeof gap) == 0 && set;
    set = setsockopt(socket, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes) == 0 && set;
#endif
#ifdef TCP_USER_TIMEOUT
    // Bounds the probes as well on Linux, so no shorter than they last.
    const unsigned int unacknowledged_ms = static_cast<unsigned int>(idle + gap * probes) * 1000u;
    set = setsockopt(socket, IPPROTO_TCP, TCP_USER_TIMEOUT, &unacknowledged_ms,
                     sizeof unacknowledged_ms) == 0 &&
          set;
#endif
    return set;
}

bool PlatformSocketSetNonBlocking(PlatformSocket socket) {
    const int flags = fcntl(socket, F_GETFL, 0);
    return flags >= 0 && fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0;
}

ConnectOutcome PlatformSocketConnect(PlatformSocket socket, const char* ipv4_text, uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    uint32_t host = 0;
    if (!ParseIpv4Text(ipv4_text, &host)) {
        return ConnectOutcome::Failed;
    }
    address.sin_addr.s_addr = htonl(host);
    if (connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return ConnectOutcome::Connected;
    }
    return errno == EISCONN ? ConnectOutcome::AlreadyConnected : ConnectOutcome::Failed;
}

int PlatformSocketSend(PlatformSocket socket, const void* data, int length) {
    if (length < 0) {
        return kSocketError;
    }
    const ssize_t sent = send(socket, data, static_cast<size_t>(length), MSG_NOSIGNAL);
    return sent < 0 ? FailureOfTransfer() : static_cast<int>(sent);
}

int PlatformSocketRecv(PlatformSocket socket, void* data, int length) {
    if (length < 0) {
        return kSocketError;
    }
    const ssize_t received = recv(socket, data, static_cast<size_t>(length), 0);
    return received < 0 ? FailureOfTransfer() : static_cast<int>(received);
}

int PlatformSocketWaitReadable(PlatformSocket socket, int32_t timeout_ms) {
    return WaitFor(socket, POLLIN, timeout_ms);
}

int PlatformSocketWaitWritable(PlatformSocket socket, int32_t timeout_ms) {
    return WaitFor(socket, POLLOUT, timeout_ms);
}

void PlatformSocketShutdown(PlatformSocket socket) {
    shutdown(socket, SHUT_RDWR);
}

void PlatformSocketClose(PlatformSocket socket) {
    close(socket);
}

}  // namespace krogw
