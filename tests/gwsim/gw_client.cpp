#include "tests/gwsim/gw_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "tests/support/gw_message.h"

namespace gwsim::test {
namespace {

bool WaitFor(int fd, short events, int timeout_ms) {
    pollfd ready{fd, events, 0};
    return ::poll(&ready, 1, timeout_ms) == 1;
}

}  // namespace

Bytes Message(uint32_t opcode, uint16_t channel_id, const Bytes& body, uint16_t aux_word) {
    return krogw::test::GwMessage(opcode, 0, body,
                                  {.channel_id = channel_id, .aux_word = aux_word});
}

Bytes RangeBody(uint16_t rtu, uint8_t table, uint8_t first_row, uint8_t rows, uint8_t column,
                uint8_t columns, const Bytes& data) {
    Bytes body(16, 0);
    krogw::PutU16(body.data(), rtu);
    body[2] = table;
    body[3] = first_row;
    body[4] = rows;
    body[5] = column;
    body[6] = columns;
    body.insert(body.end(), data.begin(), data.end());
    return body;
}

GwClient::GwClient(const std::string& address, uint16_t port) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1) {
        return;
    }
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    const int flags = ::fcntl(fd_, F_GETFL);
    ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
    const int started = ::connect(fd_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    int error = started == 0 ? 0 : errno;
    if (error == EINPROGRESS && WaitFor(fd_, POLLOUT, 1000)) {
        socklen_t length = sizeof error;
        ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length);
    }
    if (error != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    ::fcntl(fd_, F_SETFL, flags);
}

GwClient::~GwClient() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void GwClient::Send(const Bytes& message) {
    ::send(fd_, message.data(), message.size(), MSG_NOSIGNAL);
}

std::optional<Bytes> GwClient::Receive(int timeout_ms) {
    Bytes message(krogw::kGwHeaderBytes);
    if (!ReadExact(message.data(), message.size(), timeout_ms)) {
        return std::nullopt;
    }
    krogw::GwHeader header{};
    krogw::ReadGwHeader(message.data(), message.size(), &header);
    if (header.total_length < krogw::kGwHeaderBytes) {
        return std::nullopt;
    }
    message.resize(header.total_length);
    if (!ReadExact(message.data() + krogw::kGwHeaderBytes, message.size() - krogw::kGwHeaderBytes,
                   timeout_ms)) {
        return std::nullopt;
    }
    return message;
}

std::optional<Bytes> GwClient::Exchange(const Bytes& message, int timeout_ms) {
    Send(message);
    return Receive(timeout_ms);
}

Bytes GwClient::ReceiveSome(int timeout_ms) {
    Bytes some(8300);
    if (!WaitFor(fd_, POLLIN, timeout_ms)) {
        return {};
    }
    const ssize_t received = ::recv(fd_, some.data(), some.size(), 0);
    some.resize(received > 0 ? static_cast<size_t>(received) : 0);
    return some;
}

bool GwClient::WaitClosed(int timeout_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    uint8_t byte = 0;
    while (std::chrono::steady_clock::now() < end) {
        if (WaitFor(fd_, POLLIN, 50) && ::recv(fd_, &byte, 1, 0) <= 0) {
            return true;
        }
    }
    return false;
}

uint16_t GwClient::OpenChannel(uint8_t type, const std::string& name) {
    Bytes body{type};
    body.insert(body.end(), name.begin(), name.end());
    body.push_back(0);
    const auto reply = Exchange(Message(krogw::kOpOpenChannel, 0, body));
    if (!reply || reply->size() < 41 || FrameOf(*reply).command.result_code != 0 ||
        (*reply)[38] != type) {
        return 0;
    }
    return krogw::GetU16(reply->data() + 39);
}

bool GwClient::ReadExact(uint8_t* into, size_t length, int timeout_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    size_t got = 0;
    while (got < length) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !WaitFor(fd_, POLLIN, static_cast<int>(left.count()))) {
            return false;
        }
        const ssize_t received = ::recv(fd_, into + got, length - got, 0);
        if (received <= 0) {
            return false;
        }
        got += static_cast<size_t>(received);
    }
    return true;
}

}  // namespace gwsim::test
