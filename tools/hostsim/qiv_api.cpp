// The host runtime operations the driver calls, on the stand-in host's state.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "host/qivpro.h"
#include "tools/hostsim/host_state.h"

using hostsim::Host;
using hostsim::State;

namespace {

// The level of the driver's own start-up lines, which a host's log keeps.
constexpr int kStandInNoticeLevel = 32;

}  // namespace

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
            host.client_removals[key] = 0;
            hostsim::logging_client = key;
            *client = key;
            if (!host.stand_in_noticed && host.log_filter <= kStandInNoticeLevel) {
                host.stand_in_noticed = true;
                hostsim::KeepLogLine(host, kStandInNoticeLevel, hostsim::kStandInNotice);
            }
            return 0;
        }
    }
    return 1;
}

uint16_t QivRmClient(uint8_t client) {
    State& host = Host();
    std::lock_guard lock(host.mutex);
    ++host.client_removals[client];
    return host.clients.erase(client) != 0 ? 0 : 1;
}

uint16_t QivWaitMsg(uint8_t client, QivMessage* message, int32_t /*wait*/) {
    if (message != nullptr) {
        std::memset(message, 0, sizeof *message);
    }
    State& host = Host();
    std::lock_guard lock(host.mutex);
    hostsim::logging_client = client;
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
    const int32_t found =
        host.gate_ids.Find(hostsim::GateKey{driver_index, unit_id, kind, subaddress, fixed_word});
    if (found == 0 || gate_id == nullptr) {
        return 1;
    }
    *gate_id = found;
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
    if (host.rtu_failures.size() > hostsim::kMaxRtuFailures) {
        host.rtu_failures.pop_front();
    }
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
    State& host = Host();
    {
        // Filtered lines cost no formatting: traces come once per decoded value.
        std::lock_guard lock(host.mutex);
        if (level < host.log_filter) {
            return 0;
        }
    }
    // Log lines are short; a longer one is cut rather than grown on the caller's
    // small thread stack.
    char line[1024];
    va_list arguments;
    va_start(arguments, format);
    const int length = vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    std::string text(length > 0 ? line : "");

    std::lock_guard lock(host.mutex);
    hostsim::KeepLogLine(host, level, std::move(text));
    return length;
}

}  // extern "C"
