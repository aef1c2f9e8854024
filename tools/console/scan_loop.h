// The host's scan: reads the poll and special gates when their cycle is due, the
// screen's own gates every scan, runs the operator's commands as they come, and shows
// the result.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
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
    // With once: how long after the start table gates without a value are waited for,
    // since a gate that only burst reports feed gets nothing from the scan's polls.
    std::chrono::seconds burst_wait{5};
    // Set by a signal handler: ends the scan as quit does, at the next turn.
    const volatile std::sig_atomic_t* stop = nullptr;
};

// Why a run ended.
enum class RunEnd { Quit, Duration, Signal, Once, Failed /* an instance did not start */ };

// What the run did, for its closing line.
struct RunTotals {
    uint64_t values_received = 0;  // by every table gate, by polls and bursts
    int writes_done = 0, writes_refused = 0, writes_failed = 0;  // of project gates
    int switch_overs = 0;  // changes of an instance's active gateway seen by the scan
};

class ScanLoop {
  public:
    ScanLoop(HostInstances& host, LogSink& log, Screen& screen)
        : host_(host), log_(log), screen_(screen), reconnect_(host) {}

    RunEnd Run(const ScanOptions& options, CommandInput& input);
    // After a single scan: the gates whose address was rejected or that got no value
    // and, when no gateway answered its status read, a line saying so; empty when all
    // is well.
    std::vector<std::string> Missing();
    RunTotals Totals() const;
    double Elapsed() const;

  private:
    void ReadDueGates(Clock::time_point now, int32_t scan_ms);
    void ReadGate(InstanceState& instance, GateState& gate);
    void ReadScreenGates();
    // Waits, bounded, until no instance has a poll in flight or queued.
    void AwaitPolls();
    // Waits until every table gate has a value, the deadline passes or a stop comes.
    void AwaitTableValues(Clock::time_point deadline, const volatile std::sig_atomic_t* stop);
    void CountSwitchOver(InstanceState& instance, int32_t active_before);
    void Tally(int32_t write_result);
    void Refresh();
    std::vector<ScreenItem> Items();

    HostInstances& host_;
    LogSink& log_;
    Screen& screen_;
    GatewayReconnect reconnect_;
    Clock::time_point start_ = Clock::now();
    RunTotals totals_;
};

}  // namespace console
