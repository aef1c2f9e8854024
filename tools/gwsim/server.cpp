#include "tools/gwsim/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace gwsim {

Server::Server(std::string address, uint16_t port, size_t max_queued_bytes, Faults& faults,
               Connection::MessageHandler on_message, Connection::ClosedHandler on_closed,
               LogSink log, LogSink traffic_log)
    : address_(std::move(address)),
      port_(port),
      max_queued_bytes_(max_queued_bytes),
      faults_(faults),
      on_message_(std::move(on_message)),
      on_closed_(std::move(on_closed)),
      log_(std::move(log)),
      traffic_log_(std::move(traffic_log)) {}

Server::~Server() {
    Stop();
}

void Server::Start() {
    listen_fd_ = OpenListener();
    {
        const std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    Log("listening on " + address_ + ":" + std::to_string(port_));
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

void Server::Stop() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (!acceptor_.joinable()) {
        return;
    }
    acceptor_.join();
    CloseListener();
    std::map<int, std::unique_ptr<Connection>> ending;
    {
        const std::lock_guard lock(mutex_);
        ending.swap(connections_);
    }
    for (auto& [id, connection] : ending) {
        connection->Reset();
    }
    const size_t reset = ending.size();
    ending.clear();  // outside the lock: their readers may be calling Send
    Log("stopped: not listening, " + std::to_string(reset) + " connections reset");
}

bool Server::Send(int connection, std::vector<uint8_t> message, const OutgoingPlan& plan) {
    const std::lock_guard lock(mutex_);
    const auto found = connections_.find(connection);
    if (found == connections_.end() || found->second->finished()) {
        return false;
    }
    return found->second->Send(std::move(message), plan);
}

void Server::Reset(int connection) {
    const std::lock_guard lock(mutex_);
    const auto found = connections_.find(connection);
    if (found != connections_.end()) {
        found->second->Reset();
    }
}

void Server::CloseAll() {
    const std::lock_guard lock(mutex_);
    for (auto& [id, connection] : connections_) {
        connection->Close();
    }
    Log("closed every connection");
}

void Server::AcceptLoop() {
    while (Pause(0)) {
        Reap();
        if (faults_.refusing()) {
            if (listen_fd_ >= 0) {
                CloseListener();
                Log("refusing new connections");
            }
            Pause(20);
            continue;
        }
        if (listen_fd_ < 0) {
            try {
                listen_fd_ = OpenListener();
                Log("accepting connections again");
            } catch (const std::runtime_error&) {
                Pause(100);
                continue;
            }
        }
        pollfd readable{listen_fd_, POLLIN, 0};
        if (::poll(&readable, 1, 20) == 1) {
            AcceptOne();
        }
    }
}

void Server::AcceptOne() {
    const int delay = faults_.accept_delay_ms();
    if (delay > 0) {
        Log("slow accept: waiting " + std::to_string(delay) + " ms");
        if (!Pause(delay)) {
            return;
        }
    }
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int fd = ::accept(listen_fd_, reinterpret_cast<sockaddr*>(&peer), &length);
    if (fd < 0) {
        return;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const std::lock_guard lock(mutex_);
    const int id = next_connection_++;
    auto connection =
        std::make_unique<Connection>(fd, id, max_queued_bytes_, on_message_, on_closed_, log_);
    connection->Start();
    connections_[id] = std::move(connection);
    char peer_text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &peer.sin_addr, peer_text, sizeof peer_text);
    if (traffic_log_) {
        traffic_log_("connection " + std::to_string(id) + " accepted from " + peer_text + ":" +
                     std::to_string(ntohs(peer.sin_port)));
    }
}

int Server::OpenListener() {
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    bound.sin_port = htons(port_);
    if (::inet_pton(AF_INET, address_.c_str(), &bound.sin_addr) != 1) {
        throw std::runtime_error("'" + address_ + "' is not an IPv4 address");
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        throw std::runtime_error("cannot create a socket");
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&bound), sizeof bound) != 0 ||
        ::listen(fd, 16) != 0) {
        const std::string why = std::strerror(errno);
        ::close(fd);
        throw std::runtime_error("cannot listen on " + address_ + ":" + std::to_string(port_) +
                                 ": " + why);
    }
    socklen_t length = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    if (port_ == 0) {
        port_ = ntohs(bound.sin_port);  // later listeners reuse the port first bound
    }
    return fd;
}

void Server::CloseListener() {
    if (listen_fd_ >= 0) {
        ::close(listen_fd_);
        listen_fd_ = -1;
    }
}

void Server::Reap() {
    std::vector<std::unique_ptr<Connection>> ended;
    {
        const std::lock_guard lock(mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            if (it->second->finished()) {
                ended.push_back(std::move(it->second));
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
    }
    ended.clear();
}

bool Server::Pause(int ms) {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
    return !stopping_;
}

void Server::Log(const std::string& line) const {
    if (log_) {
        log_(line);
    }
}

}  // namespace gwsim
