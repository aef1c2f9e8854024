#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

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

int WaitFor(PlatformSocket socket, short events, int32_t timeout_ms) {
    pollfd entry{socket, events, 0};
    const int result = poll(&entry, 1, timeout_ms < 0 ? 0 : timeout_ms);
    if (result < 0) {
        return -1;
    }
    return result > 0 ? 1 : 0;
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

bool PlatformSocketSetNonBlocking(PlatformSocket socket) {
    const int flags = fcntl(socket, F_GETFL, 0);
    return flags >= 0 && fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0;
}

ConnectOutcome PlatformSocketConnect(PlatformSocket socket, const char* ipv4_text, uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (ipv4_text == nullptr || inet_pton(AF_INET, ipv4_text, &address.sin_addr) != 1) {
        return ConnectOutcome::Failed;
    }
    if (connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return ConnectOutcome::Connected;
    }
    return errno == EISCONN ? ConnectOutcome::AlreadyConnected : ConnectOutcome::Failed;
}

int PlatformSocketSend(PlatformSocket socket, const void* data, int length) {
    if (length < 0) {
        return -1;
    }
    const ssize_t sent = send(socket, data, static_cast<size_t>(length), MSG_NOSIGNAL);
    return sent < 0 ? -1 : static_cast<int>(sent);
}

int PlatformSocketRecv(PlatformSocket socket, void* data, int length) {
    if (length < 0) {
        return -1;
    }
    const ssize_t received = recv(socket, data, static_cast<size_t>(length), 0);
    return received < 0 ? -1 : static_cast<int>(received);
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
