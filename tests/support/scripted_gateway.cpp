#include "tests/support/scripted_gateway.h"

#include "gateway/frame.h"

#if defined(_WIN32)
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

namespace krogw::test {
namespace {

constexpr int32_t kServeTurnMs = 5;
constexpr int32_t kRequestReadMs = 1000;

// Receives exactly `count` bytes, waiting for each piece until the deadline.
bool ReceiveAll(PlatformSocket socket, uint8_t* at, size_t count, int64_t deadline) {
    size_t done = 0;
    while (done < count) {
        const int64_t left = deadline - PlatformMonotonicMs();
        if (left <= 0 || PlatformSocketWaitReadable(socket, static_cast<int32_t>(left)) != 1) {
            return false;
        }
        const int result = PlatformSocketRecv(socket, at + done, static_cast<int>(count - done));
        if (result == 0) {
            return false;
        }
        if (result > 0) {
            done += static_cast<size_t>(result);
        }
    }
    return true;
}

// Sends bytes [start, end). Fails once the connection is broken or when nothing more
// goes out for kRequestReadMs: a peer that stopped reading must not hold a test.
bool SendAll(PlatformSocket socket, const uint8_t* bytes, size_t start, size_t end) {
    int64_t deadline = PlatformMonotonicMs() + kRequestReadMs;
    while (start < end) {
        const int sent = PlatformSocketSend(socket, bytes + start, static_cast<int>(end - start));
        if (sent == kSocketError) {
            return false;
        }
        if (sent > 0) {
            start += static_cast<size_t>(sent);
            deadline = PlatformMonotonicMs() + kRequestReadMs;
            continue;
        }
        const int64_t left = deadline - PlatformMonotonicMs();
        if (left <= 0 || PlatformSocketWaitWritable(socket, static_cast<int32_t>(left)) < 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool Deliver(PlatformSocket socket, const Delivery& delivery) {
    size_t start = 0;
    std::vector<size_t> ends = delivery.cuts;
    ends.push_back(delivery.bytes.size());
    for (size_t piece = 0; piece < ends.size(); ++piece) {
        const size_t end = ends[piece];
        if (piece != 0) {
            PlatformSleepMs(static_cast<uint32_t>(delivery.pause_ms));
        }
        if (!SendAll(socket, delivery.bytes.data(), start, end)) {
            return false;
        }
        start = end;
    }
    return true;
}

Bytes ReadMessage(PlatformSocket socket, int32_t timeout_ms) {
    const int64_t deadline = PlatformMonotonicMs() + timeout_ms;
    Bytes message(kGwHeaderBytes);
    if (!ReceiveAll(socket, message.data(), kGwHeaderBytes, deadline)) {
        return {};
    }
    const size_t total = GetU16(message.data() + kGwTotalLengthOffset);
    if (total < kGwHeaderBytes) {
        return {};
    }
    message.resize(total);
    if (!ReceiveAll(socket, message.data() + kGwHeaderBytes, total - kGwHeaderBytes, deadline)) {
        return {};
    }
    return message;
}

PlatformSocket ConnectLikeDriver(const char* address, uint16_t port) {
    const PlatformSocket socket = PlatformSocketOpen();
    if (socket == kInvalidSocket) {
        return 0;
    }
    PlatformSocketSetLingerZero(socket);
    PlatformSocketSetNonBlocking(socket);
    PlatformSocketConnect(socket, address, port);
    PlatformSocketWaitWritable(socket, kRequestReadMs);
    if (PlatformSocketConnect(socket, address, port) == ConnectOutcome::Failed) {
        PlatformSocketClose(socket);
        return 0;
    }
    return socket;
}

void LimitSendBuffer(PlatformSocket socket, int bytes) {
#if defined(_WIN32)
    setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_SNDBUF,
               reinterpret_cast<const char*>(&bytes), sizeof bytes);
#else
    setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
#endif
}

ScriptedGateway::ScriptedGateway(const char* address, uint16_t port)
    : listener_(address, port), server_([this] { Serve(); }) {}

ScriptedGateway::~ScriptedGateway() {
    stop_ = true;
    server_.join();
    for (const PlatformSocket socket : accepted_) {
        PlatformSocketClose(socket);
    }
}

void ScriptedGateway::Answer(Delivery delivery) {
    std::lock_guard lock(mutex_);
    answers_.push_back(std::move(delivery));
}

std::vector<ReceivedRequest> ScriptedGateway::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool ScriptedGateway::WaitForRequests(size_t count, int32_t timeout_ms) const {
    const int64_t deadline = PlatformMonotonicMs() + timeout_ms;
    while (Requests().size() < count) {
        if (PlatformMonotonicMs() >= deadline) {
            return false;
        }
        PlatformSleepMs(kServeTurnMs);
    }
    return true;
}

void ScriptedGateway::Serve() {
    struct Connection {
        int index;
        PlatformSocket socket;
    };
    std::vector<Connection> open;
    while (!stop_) {
        if (const PlatformSocket accepted = listener_.Accept(kServeTurnMs); accepted != 0) {
            open.push_back({connections_.load(), accepted});
            accepted_.push_back(accepted);
            ++connections_;
        }
        for (auto it = open.begin(); it != open.end();) {
            if (PlatformSocketWaitReadable(it->socket, 0) != 1) {
                ++it;
                continue;
            }
            Bytes request = ReadMessage(it->socket, kRequestReadMs);
            if (request.empty()) {  // the driver closed the channel
                it = open.erase(it);
                continue;
            }
            Delivery answer;
            {
                std::lock_guard lock(mutex_);
                requests_.push_back({it->index, std::move(request)});
                if (!answers_.empty()) {
                    answer = std::move(answers_.front());
                    answers_.pop_front();
                }
            }
            Deliver(it->socket, answer);
            ++it;
        }
    }
}

}  // namespace krogw::test
