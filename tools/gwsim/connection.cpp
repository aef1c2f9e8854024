#include "tools/gwsim/connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>

#include "gateway/frame.h"

namespace gwsim {

Connection::Connection(int fd, int id, size_t max_queued_bytes, MessageHandler on_message,
                       ClosedHandler on_closed, LogSink log)
    : fd_(fd),
      id_(id),
      max_queued_bytes_(max_queued_bytes),
      on_message_(std::move(on_message)),
      on_closed_(std::move(on_closed)),
      log_(std::move(log)) {}

Connection::~Connection() {
    Close();
    if (reader_.joinable()) {
        reader_.join();
    }
    if (writer_.joinable()) {
        writer_.join();
    }
    ::close(fd_);
}

void Connection::Start() {
    reader_ = std::thread([this] { ReadLoop(); });
    writer_ = std::thread([this] { WriteLoop(); });
}

bool Connection::Send(std::vector<uint8_t> message, const OutgoingPlan& plan) {
    size_t queued = 0;
    {
        const std::lock_guard lock(mutex_);
        if (closing_) {
            return false;
        }
        queued = queued_bytes_ + message.size();
        if (queued <= max_queued_bytes_) {
            queued_bytes_ = queued;
            outbox_.push_back(
                {std::chrono::steady_clock::now() + std::chrono::milliseconds(plan.delay_ms),
                 next_sequence_++, std::move(message), plan.piece_bytes, plan.piece_pause_ms});
        }
    }
    if (queued > max_queued_bytes_) {
        Log("connection " + std::to_string(id_) + ": " + std::to_string(queued) +
            " bytes would wait to be sent, the client is not reading; dropping the connection");
        Close();
        return false;
    }
    wake_.notify_all();
    return true;
}

void Connection::Close() {
    {
        const std::lock_guard lock(mutex_);
        if (closing_) {
            return;
        }
        closing_ = true;
    }
    stop_reading_ = true;
    wake_.notify_all();
    ::shutdown(fd_, SHUT_RDWR);
}

void Connection::Reset() {
    const linger abort{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    Close();
}

void Connection::ReadLoop() {
    std::vector<uint8_t> message;
    while (true) {
        message.assign(krogw::kGwHeaderBytes, 0);
        if (!ReadExact(message.data(), message.size())) {
            break;
        }
        const size_t total = krogw::GetU16(message.data() + krogw::kGwTotalLengthOffset);
        if (total < krogw::kGwHeaderBytes || total > kMaxMessageBytes) {
            Log("connection " + std::to_string(id_) + ": total_length " + std::to_string(total) +
                " cannot be framed, closing");
            break;
        }
        message.resize(total);
        if (!ReadExact(message.data() + krogw::kGwHeaderBytes, total - krogw::kGwHeaderBytes)) {
            break;
        }
        on_message_(id_, std::move(message));
    }
    Close();
    on_closed_(id_);
    reader_done_ = true;
}

bool Connection::ReadExact(uint8_t* into, size_t length) {
    size_t got = 0;
    while (got < length) {
        if (stop_reading_) {
            return false;
        }
        pollfd readable{fd_, POLLIN, 0};
        const int ready = ::poll(&readable, 1, 50);
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready <= 0) {
            continue;
        }
        const ssize_t received = ::recv(fd_, into + got, length - got, 0);
        if (received < 0 && errno == EINTR) {
            continue;
        }
        if (received <= 0) {
            return false;
        }
        got += static_cast<size_t>(received);
    }
    return true;
}

void Connection::WriteLoop() {
    std::unique_lock lock(mutex_);
    while (!closing_) {
        if (outbox_.empty()) {
            wake_.wait(lock);
            continue;
        }
        const auto next = std::min_element(
            outbox_.begin(), outbox_.end(), [](const Pending& a, const Pending& b) {
                return a.due != b.due ? a.due < b.due : a.sequence < b.sequence;
            });
        const auto due = next->due;  // the outbox may grow while we wait
        if (due > std::chrono::steady_clock::now()) {
            wake_.wait_until(lock, due);
            continue;
        }
        const Pending pending = std::move(*next);
        outbox_.erase(next);
        queued_bytes_ -= pending.bytes.size();
        lock.unlock();
        const bool sent = SendPieces(pending);
        lock.lock();
        if (!sent) {
            break;
        }
    }
}

bool Connection::SendPieces(const Pending& pending) {
    const size_t piece = pending.piece_bytes == 0 ? pending.bytes.size() : pending.piece_bytes;
    for (size_t offset = 0; offset < pending.bytes.size(); offset += piece) {
        if (offset > 0) {
            std::unique_lock lock(mutex_);
            if (wake_.wait_for(lock, std::chrono::milliseconds(pending.pause_ms),
                               [this] { return closing_; })) {
                return false;
            }
        }
        const size_t length = std::min(piece, pending.bytes.size() - offset);
        if (!SendAll(pending.bytes.data() + offset, length)) {
            return false;
        }
    }
    return true;
}

bool Connection::SendAll(const uint8_t* data, size_t length) {
    while (length > 0) {
        const ssize_t sent = ::send(fd_, data, length, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            Log("connection " + std::to_string(id_) + ": send failed");
            return false;
        }
        data += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

void Connection::Log(const std::string& line) const {
    if (log_) {
        log_(line);
    }
}

}  // namespace gwsim
