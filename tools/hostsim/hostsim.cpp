#include "tools/hostsim/hostsim.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <tuple>

namespace hostsim {
namespace {

constexpr size_t kMaxLogLines = 100000;
constexpr int kMaxClients = 255;

using GateKey = std::tuple<int32_t, int32_t, int32_t, int32_t, int32_t>;

struct Gate {
    Cooking cooking;
    std::optional<GateValue> value;
};

struct Client {
    std::string name;
    bool ending = false;
};

struct State {
    std::mutex mutex;
    std::map<GateKey, int32_t> gate_ids;
    std::map<int32_t, Gate> gates;
    int32_t next_gate_id = 1;
    std::map<uint8_t, Client> clients;
    int32_t backup_mode = 0;
    int32_t serial_number = 1;
    std::vector<RtuFailure> rtu_failures;
    std::deque<LogLine> log;
    int log_filter = 0;
    bool log_echo = false;
};

State& Host() {
    static State state;
    return state;
}

Gate* FindGate(State& host, int32_t gate_id) {
    const auto found = host.gates.find(gate_id);
    return found == host.gates.end() ? nullptr : &found->second;
}

}  // namespace

void Reset() {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    host.gate_ids.clear();
    host.gates.clear();
    host.next_gate_id = 1;
    host.clients.clear();
    host.backup_mode = 0;
    host.serial_number = 1;
    host.rtu_failures.clear();
    host.log.clear();
    host.log_filter = 0;
    host.log_echo = false;
}

int32_t DefineGate(int32_t driver_number, const krogw::GateAddress& address, Cooking cooking) {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    const int32_t id = host.next_gate_id++;
    host.gate_ids[GateKey{driver_number - 1, address.unit_id, address.kind, address.subaddress,
                          address.fixed_word}] = id;
    host.gates[id] = Gate{cooking, std::nullopt};
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
    return host.rtu_failures;
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

using hostsim::Host;
using hostsim::State;

extern "C" {

uint16_t QivMkClient(const char* name, int32_t /*kind*/, int32_t /*flags*/, uint8_t* client) {
    if (name == nullptr || client == nullptr) {
        return 1;
    }
    State& host = Host();
    std::lock_guard lock(host.mutex);
    for (int handle = 1; handle <= hostsim::kMaxClients; ++handle) {
        const auto key = static_cast<uint8_t>(handle);
        if (host.clients.count(key) == 0) {
            host.clients[key] = hostsim::Client{name, false};
            *client = key;
            return 0;
        }
    }
    return 1;
}

uint16_t QivRmClient(uint8_t client) {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    return host.clients.erase(client) != 0 ? 0 : 1;
}

uint16_t QivWaitMsg(uint8_t client, QivMessage* message, int32_t /*wait*/) {
    if (message != nullptr) {
        std::memset(message, 0, sizeof *message);
    }
    State& host = Host();
    std::lock_guard lock(host.mutex);
    const auto found = host.clients.find(client);
    return found == host.clients.end() || found->second.ending ? 0 : 1;
}

uint16_t QivGetBackupMode(uint8_t /*client*/, int32_t* mode) {
    if (mode == nullptr) {
        return 1;
    }
    State& host = Host();
    std::lock_guard lock(host.mutex);
    *mode = host.backup_mode;
    return 0;
}

uint16_t QivGetGateIdByAddress(uint8_t /*client*/, int32_t driver_index, int32_t unit_id,
                               int32_t kind, int32_t subaddress, int32_t fixed_word,
                               int32_t* gate_id) {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    const auto found =
        host.gate_ids.find(hostsim::GateKey{driver_index, unit_id, kind, subaddress, fixed_word});
    if (found == host.gate_ids.end() || gate_id == nullptr) {
        return 1;
    }
    *gate_id = found->second;
    return 0;
}

uint16_t QivCook(uint8_t /*client*/, int32_t gate_id, uint32_t raw, double* value) {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    const hostsim::Gate* gate = hostsim::FindGate(host, gate_id);
    if (gate == nullptr || value == nullptr) {
        return 1;
    }
    *value = static_cast<double>(raw) * gate->cooking.scale + gate->cooking.offset;
    return 0;
}

uint16_t QivPutGateVal(uint8_t /*client*/, int32_t gate_id, int32_t quality, double value,
                       int32_t seconds, int32_t milliseconds) {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    hostsim::Gate* gate = hostsim::FindGate(host, gate_id);
    if (gate == nullptr) {
        return 1;
    }
    const uint64_t updates = gate->value ? gate->value->updates + 1 : 1;
    gate->value = hostsim::GateValue{value, quality, seconds, milliseconds, updates};
    return 0;
}

uint16_t QivGetGateRawValue(uint8_t /*client*/, int32_t gate_id, uint32_t* raw, int32_t /*flags*/) {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    const hostsim::Gate* gate = hostsim::FindGate(host, gate_id);
    if (gate == nullptr || raw == nullptr || !gate->value) {
        return 1;
    }
    // The raw value is the engineering value cooked backwards.
    const hostsim::Cooking& cooking = gate->cooking;
    const double uncooked =
        cooking.scale == 0.0 ? 0.0 : (gate->value->value - cooking.offset) / cooking.scale;
    *raw = static_cast<uint32_t>(static_cast<int64_t>(std::llround(uncooked)));
    return 0;
}

uint16_t QivGetGateVal(uint8_t /*client*/, int32_t /*mode*/, int32_t gate_id, double* value,
                       int32_t* quality, int32_t* seconds) {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    const hostsim::Gate* gate = hostsim::FindGate(host, gate_id);
    if (gate == nullptr || !gate->value) {
        return 1;
    }
    if (value != nullptr) {
        *value = gate->value->value;
    }
    if (quality != nullptr) {
        *quality = gate->value->quality;
    }
    if (seconds != nullptr) {
        *seconds = gate->value->seconds;
    }
    return 0;
}

uint16_t QivSetPlcCommStatus(uint8_t /*client*/, int32_t driver_number, int32_t rtu,
                             int32_t /*status*/, int32_t /*flags*/) {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    host.rtu_failures.push_back(hostsim::RtuFailure{driver_number, rtu});
    return 0;
}

uint16_t QivGetPlugSerNum(uint8_t /*client*/, int32_t* plug, int32_t* serial) {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    if (plug != nullptr) {
        *plug = 1;
    }
    if (serial != nullptr) {
        *serial = host.serial_number;
    }
    return 0;
}

int err(int level, const char* format, ...) {
    if (format == nullptr) {
        return 0;
    }
    // Log lines are short; a longer one is cut rather than grown on the caller's
    // small thread stack.
    char line[1024];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    std::string text(length > 0 ? line : "");

    State& host = Host();
    std::lock_guard lock(host.mutex);
    if (level < host.log_filter) {
        return 0;
    }
    if (host.log_echo) {
        std::fprintf(stderr, "[%2d] %s\n", level, text.c_str());
    }
    host.log.push_back(hostsim::LogLine{level, std::move(text)});
    if (host.log.size() > hostsim::kMaxLogLines) {
        host.log.pop_front();
    }
    return length;
}

}  // extern "C"
