// A host's side of krogw.dll for plain Windows test programs: the library is known by
// name only (LoadLibrary, GetProcAddress), every request goes through KroMain, each
// instance gets a context of the size the driver reports and its own configuration
// file in the current directory. Gates are defined in the stand-in host runtime with
// the words the driver's address check gave.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "include/krogw/abi.h"
#include "tests/support/wait_for.h"
#include "tools/hostsim/hostsim.h"

namespace krogw::wintest {

struct Instance {
    int32_t driver_number = 0;
    DriverContext* context = nullptr;
};

struct Gate {
    int32_t id = 0;  // 0: the driver refused the address
    GateAddress address{};
};

using krogw::test::WaitFor;

inline std::optional<uint8_t> ClientOf(int32_t driver_number) {
    char name[32];
    std::snprintf(name, sizeof name, "GateWay_No_%.2d", driver_number);
    return hostsim::ClientByName(name);
}

inline void WriteConfiguration(int32_t driver_number, const std::string& text) {
    char name[32];
    std::snprintf(name, sizeof name, "kroGW%.2d.int", driver_number);
    FILE* file = std::fopen(name, "wb");
    if (file == nullptr) {
        std::printf("FAILED: cannot write %s\n", name);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

class DriverHost {
  public:
    // False, with the reason on stdout, when the library or its entry cannot be had.
    bool Load() {
        HMODULE driver = LoadLibraryA("krogw.dll");
        if (driver == nullptr) {
            std::printf("LoadLibrary(krogw.dll) failed: %lu\n", GetLastError());
            return false;
        }
        kro_main_ = reinterpret_cast<KroMainFunction>(
            reinterpret_cast<void*>(GetProcAddress(driver, "KroMain")));
        if (kro_main_ == nullptr) {
            std::printf("krogw.dll exports no KroMain\n");
            return false;
        }
        DriverInfo info{};
        HostRequest request{nullptr, kGetDriverInfo, 0, 0, &info};
        context_size_ = kro_main_(&request) == kResultDone ? info.context_size : 0;
        return context_size_ > 0;
    }

    Instance NewInstance(int32_t driver_number) const {
        void* memory =
            VirtualAlloc(nullptr, static_cast<SIZE_T>(context_size_), MEM_COMMIT, PAGE_READWRITE);
        if (memory == nullptr) {
            std::printf("FAILED: no memory for a context of %d bytes\n", context_size_);
            std::exit(1);
        }
        return {driver_number, static_cast<DriverContext*>(memory)};
    }

    int32_t Call(const Instance& instance, int32_t code, void* arguments) const {
        HostRequest request{instance.context, code, instance.driver_number, 0, arguments};
        return kro_main_(&request);
    }

    int32_t Start(const Instance& instance, int32_t start_flag) const {
        StartArguments arguments{{}, start_flag, 100};
        return Call(instance, kStartInstance, &arguments);
    }

    // Checks the address through the driver and defines the gate with the words it gave.
    Gate DefineGate(const Instance& instance, const char* text) {
        AddressCheckArguments check{text, next_gate_id_, 0, 0, {}};
        if (Call(instance, kParseGateAddress, &check) != kResultDone) {
            return {};
        }
        const int32_t id = hostsim::DefineGate(instance.driver_number, check.address);
        next_gate_id_ = id + 1;
        return {id, check.address};
    }

    // The words of an address that no gate of the host has.
    GateAddress AddressOf(const Instance& instance, const char* text) const {
        AddressCheckArguments check{text, 0, 0, 0, {}};
        Call(instance, kParseGateAddress, &check);
        return check.address;
    }

    int32_t GateIo(const Instance& instance, int32_t code, const Gate& gate, uint8_t* value) const {
        GateIoArguments io{{}, gate.address, 0, 1, gate.id, value};
        return Call(instance, code, &io);
    }

    int32_t Write32(const Instance& instance, const Gate& gate, uint32_t raw) const {
        uint8_t value[4];
        std::memcpy(value, &raw, sizeof value);
        return GateIo(instance, kWriteGate, gate, value);
    }

    // A special gate's value word, or -1 when the read did not answer 0.
    int32_t ReadWord(const Instance& instance, const char* text) const {
        uint8_t value[4] = {};
        if (GateIo(instance, kReadGate, {0, AddressOf(instance, text)}, value) != kResultDone) {
            return -1;
        }
        return value[2] | value[3] << 8;
    }

    int32_t WriteWord(const Instance& instance, const char* text, uint16_t word) const {
        uint8_t value[4] = {0, 0, static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8)};
        return GateIo(instance, kWriteGate, {0, AddressOf(instance, text)}, value);
    }

  private:
    using KroMainFunction = int32_t (*)(HostRequest*);
    KroMainFunction kro_main_ = nullptr;
    int32_t context_size_ = 0;
    // The host gives gate ids in order; the address check needs the id beforehand.
    int32_t next_gate_id_ = 1;
};

}  // namespace krogw::wintest
