// The host's scan: reads the poll and special gates when their cycle is due, the
// screen's own gates every scan, runs the operator's commands as they come, and shows
// the result.
#pragma once

#include <csignal>
#include <vector>

#include "tools/console/commands.h"
#include "tools/console/host_instances.h"
#include "tools/console/log_sink.h"
#include "tools/console/reconnect.h"
#include "tools/console/screen.h"

namespace console {

struct ScanOptions {
    int32_t scan_ms = 1000;
    bool once = false;
    int32_t duration_s = 0;  // 0: until quit
    bool reconnect = true;   // reconnect gateways whose status reads fail
    // Set by a signal handler: ends the scan as quit does, at the next turn.
    const volatile std::sig_atomic_t* stop = nullptr;
};

class ScanLoop {
  public:
    ScanLoop(HostInstances& host, LogSink& log, Screen& screen)
        : host_(host), log_(log), screen_(screen), reconnect_(host) {}

    void Run(const ScanOptions& options, CommandInput& input);
    // After a single scan: the gates that got no value and, when no gateway answered its
    // status read, a line saying so; empty when all is well.
    std::vector<std::string> Missing();

  private:
    void ReadDueGates(Clock::time_point now, int32_t scan_ms);
    void ReadGate(InstanceState& instance, GateState& gate);
    void ReadScreenGates();
    // Waits, bounded, until no instance has a poll in flight or queued.
    void AwaitPolls();
    void Refresh();
    std::vector<ScreenItem> Items();
    double Elapsed() const;

    HostInstances& host_;
    LogSink& log_;
    Screen& screen_;
    GatewayReconnect reconnect_;
    Clock::time_point start_ = Clock::now();
};

}  // namespace console
