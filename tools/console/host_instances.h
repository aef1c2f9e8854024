// The driver instances of a project as the host runs them: each with its context, its
// gates checked and defined through KroMain, and the special gates the screen reads.
// Instances start and close side by side, each on a thread of its own: the driver holds
// the caller of a start through its pauses towards the gateway.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "include/krogw/abi.h"
#include "tools/console/driver_library.h"
#include "tools/console/log_sink.h"
#include "tools/console/project_file.h"

namespace console {

using Clock = std::chrono::steady_clock;

inline constexpr int32_t kArrayWords = 5;  // an RTU channel status array

// 8- and 16-bit values and the special gates' value words travel in the high half of
// a gate's raw 32-bit value (bytes 2 and 3 of the value buffer).
inline bool ValueInHighWord(const krogw::GateAddress& address) {
    return address.kind != krogw::TableElement || address.bit_width < 32;
}
inline constexpr double kHighWordUnit = 65536.0;

struct GateState {
    const GateDefinition* definition = nullptr;
    krogw::GateAddress address{};
    int32_t host_id = 0;
    int32_t result = -1;  // of the last read; -1 before the first
    std::array<uint16_t, kArrayWords> words{};
    uint32_t raw = 0;  // bytes 0-3 of the last read's value, where statistics travel
    Clock::time_point next_read{};
    Clock::time_point last_read{};  // {} before the first
    // A table gate's value as the scan last saw it, and its count of values received
    // when it last changed.
    std::optional<double> seen_value;
    uint64_t updates_at_change = 0;
};

// A gate the screen reads without the project defining it: its words and the value
// word of the last read (-1 before an answered read) and the read's result.
struct SpecialGate {
    std::string address;
    krogw::GateAddress words{};
    int32_t value = -1;
    int32_t result = -1;  // of the last read
};

struct InstanceState {
    const InstanceDefinition* definition = nullptr;
    std::vector<std::max_align_t> context;  // the driver's context, zero-filled
    std::vector<GateState> gates;
    std::vector<const GateDefinition*> rejected;  // gates whose address the driver refused
    SpecialGate active_gateway, poll_load, command_load, last_error_code;
    std::vector<SpecialGate> gateway_status;  // !1, and !2 when a secondary is configured
    std::vector<std::pair<int32_t, SpecialGate>> rtu_states;  // by RTU number
    bool running = false;
    uint8_t client = 0;  // the host client the driver made for it; 0 none
    std::map<std::string, krogw::GateAddress> statistic_words;  // checked statistics gates
    // Held by the host thread that reads or changes the state above once the instance
    // runs: its scan, or an operator's command.
    std::mutex busy;
};

class HostInstances {
  public:
    HostInstances(const DriverLibrary& driver, LogSink& log) : driver_(driver), log_(log) {}

    // Starts every instance with its configuration file (copied into the working
    // folder under the name the driver reads) and checks and defines its gates. False
    // when an instance did not start; every rejected address goes to report.
    bool Start(const Project& project, const std::string& project_folder,
               std::vector<std::string>& report);
    struct Closed {
        int instances = 0;
        int gateways = 0;  // of the instances closed
    };
    // Closes every instance's channels, ends its client and waits, bounded, for its
    // threads to let it go.
    Closed Stop();

    int32_t Call(InstanceState& instance, int32_t code, void* arguments) const;
    // A read or write of one gate; value holds four bytes for a single value, and for an
    // array its elements at the gate's width (two bytes a word of a channel status array).
    int32_t GateIo(InstanceState& instance, int32_t code, const krogw::GateAddress& address,
                   int32_t host_id, uint8_t* value, int32_t element_count = 1) const;
    int32_t ReadWord(InstanceState& instance, SpecialGate& gate) const;
    // A statistics gate's value (0xFFFFFFFF: never), checked once and read through the
    // driver; none when the driver refuses the address or the read.
    std::optional<uint32_t> ReadStatistic(InstanceState& instance,
                                          const std::string& address) const;
    const std::string& project_path() const { return project_path_; }

    // A deque: an instance's state stays where it is while others are added.
    std::deque<InstanceState>& instances() { return instances_; }
    const std::deque<InstanceState>& instances() const { return instances_; }

  private:
    bool StartInstance(InstanceState& instance, const std::string& project_folder,
                       std::vector<std::string>& report);
    void DefineGates(InstanceState& instance, std::vector<std::string>& report);
    bool CheckAddress(InstanceState& instance, const GateDefinition& gate,
                      krogw::GateAddress& words, std::string& reason);
    bool PrepareSpecialGate(InstanceState& instance, const std::string& address, SpecialGate& gate);
    void PrepareScreenGates(InstanceState& instance);

    // Closes the instance's channels, ends its client and waits, bounded, for its
    // threads; true when it was running.
    bool Close(InstanceState& instance);

    const DriverLibrary& driver_;
    LogSink& log_;
    std::deque<InstanceState> instances_;
    std::string project_path_;
    // The host id a checked address gets is the id of the gate defined next: a check and
    // its definition go together.
    std::mutex define_mutex_;
    int32_t next_host_id_ = 1;
};

}  // namespace console
