// A host's side of the driver, for test programs and benchmarks alike: every request
// goes through KroMain (linked, or found in a library the program loaded), each
// instance has its own context and its configuration file in the current directory,
// and gates are defined in the stand-in host runtime with the words the driver's
// address check gave.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "include/krogw/abi.h"
#include "tools/hostsim/hostsim.h"

namespace krogw::test {

using KroMainFunction = int32_t (*)(HostRequest*);

struct HostInstance {
    KroMainFunction kro_main = nullptr;
    int32_t driver_number = 0;
    DriverContext* context = nullptr;
};

struct HostGate {
    int32_t id = 0;  // 0: the driver refused the address
    GateAddress address{};
};

inline int32_t Call(const HostInstance& instance, int32_t code, void* arguments) {
    HostRequest request{instance.context, code, instance.driver_number, 0, arguments};
    return instance.kro_main(&request);
}

inline int32_t Start(const HostInstance& instance, int32_t start_flag, int32_t timeout_10ms = 100) {
    StartArguments arguments{{}, start_flag, timeout_10ms};
    return Call(instance, kStartInstance, &arguments);
}

// The words of an address that no gate of the host has; the check's answer in
// `result` when asked.
inline GateAddress AddressOf(const HostInstance& instance, const char* text,
                             int32_t* result = nullptr) {
    AddressCheckArguments check{text, 0, 0, 0, {}};
    const int32_t answer = Call(instance, kParseGateAddress, &check);
    if (result != nullptr) {
        *result = answer;
    }
    return check.address;
}

// A read or write request of one gate with the value buffer `value`.
inline int32_t GateIo(const HostInstance& instance, int32_t code, const GateAddress& address,
                      uint8_t* value, int32_t element_count = 1, int32_t gate_id = 0) {
    GateIoArguments io{{}, address, 0, element_count, gate_id, value};
    return Call(instance, code, &io);
}

inline int32_t GateIo(const HostInstance& instance, int32_t code, const HostGate& gate,
                      uint8_t* value) {
    return GateIo(instance, code, gate.address, value, 1, gate.id);
}

inline int32_t Write32(const HostInstance& instance, const HostGate& gate, uint32_t raw) {
    uint8_t value[4];
    std::memcpy(value, &raw, sizeof value);
    return GateIo(instance, kWriteGate, gate, value);
}

// A special gate's value word, or -1 when the read did not answer 0.
inline int32_t ReadWord(const HostInstance& instance, const char* text) {
    uint8_t value[4] = {};
    if (GateIo(instance, kReadGate, AddressOf(instance, text), value) != kResultDone) {
        return -1;
    }
    return value[2] | value[3] << 8;
}

inline int32_t WriteWord(const HostInstance& instance, const char* text, uint16_t word) {
    uint8_t value[4] = {0, 0, static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8)};
    return GateIo(instance, kWriteGate, AddressOf(instance, text), value);
}

// The host's gates: it gives ids in order, and the address check needs the id the
// gate will get, so each check is asked with the id after the last one given.
class HostGates {
  public:
    HostGate Define(const HostInstance& instance, const char* text) {
        AddressCheckArguments check{text, next_id_, 0, 0, {}};
        if (Call(instance, kParseGateAddress, &check) != kResultDone) {
            return {};
        }
        const int32_t id = hostsim::DefineGate(instance.driver_number, check.address);
        next_id_ = id + 1;
        return {id, check.address};
    }

  private:
    int32_t next_id_ = 1;
};

// The client the instance registered, by the name it gives it.
inline std::optional<uint8_t> ClientOf(int32_t driver_number) {
    char name[32];
    std::snprintf(name, sizeof name, "GateWay_No_%.2d", driver_number);
    return hostsim::ClientByName(name);
}

// Writes the instance's configuration file; false, with the reason on stdout, when
// it cannot.
inline bool WriteConfiguration(int32_t driver_number, const std::string& text) {
    char name[32];
    std::snprintf(name, sizeof name, "kroGW%.2d.int", driver_number);
    FILE* file = std::fopen(name, "wb");
    if (file == nullptr) {
        std::printf("cannot write %s\n", name);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace krogw::test
