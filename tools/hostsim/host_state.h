// The state of the stand-in host runtime, shared by its C++ API and the operations
// the driver calls.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/hostsim/gate_index.h"
#include "tools/hostsim/hostsim.h"

namespace hostsim {

inline constexpr size_t kMaxRtuFailures = 100000;
inline constexpr int kMaxClients = 255;

struct Gate {
    Cooking cooking;
    std::optional<GateValue> value;
};

struct Client {
    std::string name;
    bool ending = false;
};

// The host's lock: every driver call takes it once per decoded value, and it is held
// only for a probe or a copy, so a spinning exchange is cheaper than a system mutex.
class SpinLock {
  public:
    void lock() {
        while (taken_.exchange(true, std::memory_order_acquire)) {
            while (taken_.load(std::memory_order_relaxed)) {
                std::this_thread::yield();
            }
        }
    }
    void unlock() { taken_.store(false, std::memory_order_release); }

  private:
    std::atomic<bool> taken_{false};
};

// The echo's setting at start: a host that only loads the driver, such as a plain C
// host, cannot reach SetLogEcho.
bool LogEchoByEnvironment();

struct State {
    SpinLock mutex;
    GateIndex gate_ids;
    std::vector<Gate> gates;  // gate id 1 first
    std::map<uint8_t, Client> clients;
    // QivRmClient calls per client handle since the handle was last made.
    std::array<int, kMaxClients + 1> client_removals{};
    int32_t backup_mode = 0;
    int32_t serial_number = 1;
    std::deque<RtuFailure> rtu_failures;
    std::deque<LogLine> log;
    uint64_t log_dropped = 0;  // lines pushed out of a full log since the reset
    int log_filter = 0;
    bool log_echo = LogEchoByEnvironment();
    bool stand_in_noticed = false;  // once per process: a reset does not repeat it
};

// The client whose work the calling thread's log lines belong to, and the instance a
// host's thread calls the driver for.
inline thread_local uint8_t logging_client = 0;
inline thread_local int32_t logging_instance = 0;

// The one host of the process, behind its mutex.
State& Host();
// Keeps a formatted line in the log, echoed when asked; the caller holds the mutex.
void KeepLogLine(State& host, int level, std::string text);
// The gate with this id, or nullptr; the caller holds the mutex.
Gate* FindGate(State& host, int32_t gate_id);

}  // namespace hostsim
