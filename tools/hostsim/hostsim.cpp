#include "tools/hostsim/hostsim.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>

#include "tools/hostsim/host_state.h"

namespace hostsim {

bool LogEchoByEnvironment() {
    const char* echo = std::getenv("KROGW_HOSTSIM_LOG_ECHO");
    return echo != nullptr && std::strcmp(echo, "1") == 0;
}

State& Host() {
    static State state;
    return state;
}

void KeepLogLine(State& host, int level, std::string text) {
    if (host.log_echo) {
        std::fprintf(stderr, "[%2d] %s\n", level, text.c_str());
    }
    host.log.push_back(LogLine{level, std::move(text), logging_client, logging_instance});
    if (host.log.size() > kMaxLogLines) {
        host.log.pop_front();
        ++host.log_dropped;
    }
}

Gate* FindGate(State& host, int32_t gate_id) {
    if (gate_id < 1 || static_cast<size_t>(gate_id) > host.gates.size()) {
        return nullptr;
    }
    return &host.gates[static_cast<size_t>(gate_id) - 1];
}

void Reset() {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    host.gate_ids.Clear();
    host.gates.clear();
    host.clients.clear();
    host.client_removals = {};
    host.backup_mode = 0;
    host.serial_number = 1;
    host.rtu_failures.clear();
    host.log.clear();
    host.log_dropped = 0;
    host.log_filter = 0;
    host.log_echo = LogEchoByEnvironment();
}

int32_t DefineGate(int32_t driver_number, const krogw::GateAddress& address, Cooking cooking) {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    host.gates.push_back(Gate{cooking, std::nullopt});
    const auto id = static_cast<int32_t>(host.gates.size());
    host.gate_ids.Insert(GateKey{driver_number - 1, address.unit_id, address.kind,
                                 address.subaddress, address.fixed_word},
                         id);
    return id;
}

std::optional<GateValue> GateValueOf(int32_t gate_id) {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    const Gate* gate = FindGate(host, gate_id);
    return gate == nullptr ? std::nullopt : gate->value;
}

bool SetGateValue(int32_t gate_id, double value) {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    Gate* gate = FindGate(host, gate_id);
    if (gate == nullptr) {
        return false;
    }
    GateValue next = gate->value.value_or(GateValue{});
    next.value = value;
    next.updates++;
    gate->value = next;
    return true;
}

std::optional<uint8_t> ClientByName(const std::string& name) {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    for (const auto& [handle, client] : host.clients) {
        if (client.name == name) {
            return handle;
        }
    }
    return std::nullopt;
}

void EndClient(uint8_t client) {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    const auto found = host.clients.find(client);
    if (found != host.clients.end()) {
        found->second.ending = true;
    }
}

bool ClientExists(uint8_t client) {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    return host.clients.count(client) != 0;
}

int ClientRemovals(uint8_t client) {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    return host.client_removals[client];
}

void SetBackupMode(int32_t mode) {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    host.backup_mode = mode;
}

void SetSerialNumber(int32_t serial) {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    host.serial_number = serial;
}

std::vector<RtuFailure> RtuFailures() {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    return {host.rtu_failures.begin(), host.rtu_failures.end()};
}

std::vector<LogLine> LogLines() {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    return {host.log.begin(), host.log.end()};
}

void ClearLog() {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    host.log.clear();
}

std::vector<LogLine> TakeLogLines() {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    std::vector<LogLine> lines(std::make_move_iterator(host.log.begin()),
                               std::make_move_iterator(host.log.end()));
    host.log.clear();
    return lines;
}

void LogForClient(uint8_t client) {
    logging_client = client;
}

void LogForInstance(int32_t driver_number) {
    logging_instance = driver_number;
}

uint64_t LogLinesDropped() {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    return host.log_dropped;
}

void SetLogFilter(int minimum_level) {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    host.log_filter = minimum_level;
}

void SetLogEcho(bool echo) {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    host.log_echo = echo;
}

}  // namespace hostsim
