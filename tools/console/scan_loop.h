// The host's scan. Every running instance is scanned by a thread of its own: it reads
// the poll and special gates when their cycle is due and the screen's own gates, asks
// for reconnects, and leaves what the screen shows. A poll holds its caller while the
// driver paces the gateway, so one thread for all instances would stretch the scan with
// their number. The calling thread shows the screen every scan and runs the operator's
// commands as they come; a command waits at most for the pass of its own instance.
#pragma once

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/console/commands.h"
#include "tools/console/host_instances.h"
#include "tools/console/log_sink.h"
#include "tools/console/reconnect.h"
#include "tools/console/screen.h"
#include "tools/console/stop_signal.h"

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
    ScanLoop(HostInstances& host, LogSink& log, Screen& screen);

    RunEnd Run(const ScanOptions& options, CommandInput& input);
    // After a single scan: the gates whose address was rejected or that got no value
    // and, when no gateway answered its status read, a line saying so; empty when all
    // is well.
    std::vector<std::string> Missing();
    RunTotals Totals() const;
    double Elapsed() const;

  private:
    // An instance's scan and what it leaves for the screen.
    struct InstanceScan {
        explicit InstanceScan(InstanceState& scanned) : instance(scanned) {}
        InstanceState& instance;
        std::atomic<int> switch_overs{0};
        std::mutex shown_mutex;  // guards the two below
        std::vector<ScreenItem> shown;
        std::vector<std::string> notes;  // not yet on the screen
    };

    RunEnd RunOnce(const ScanOptions& options);
    RunEnd Serve(const ScanOptions& options, CommandInput& input);
    void ScanInstance(InstanceScan& scan, const ScanOptions& options);
    // One scan of the instance: the gates that are due, the screen's gates, reconnects.
    // Cycles count from the time the pass was planned for, not the moment it woke: a
    // wake a little late would otherwise find a gate of the scan's own cycle not yet due
    // and skip it for a whole cycle.
    void Pass(InstanceScan& scan, const ScanOptions& options, Clock::time_point planned);
    void ReadDueGates(InstanceState& instance, Clock::time_point now, int32_t scan_ms);
    void ReadGate(InstanceState& instance, GateState& gate);
    void ReadScreenGates(InstanceScan& scan);
    // Waits, bounded, until no instance has a poll in flight or queued.
    void AwaitPolls();
    // Waits until every table gate has a value, the deadline passes or a stop comes.
    void AwaitTableValues(Clock::time_point deadline, const volatile std::sig_atomic_t* stop);
    void Tally(int32_t write_result);
    void Refresh();
    std::vector<ScreenItem> InstanceItems(InstanceState& instance);

    HostInstances& host_;
    LogSink& log_;
    Screen& screen_;
    GatewayReconnect reconnect_;
    std::deque<InstanceScan> scans_;  // of the running instances
    StopSignal stop_;                 // ends the instances' scans
    Clock::time_point start_ = Clock::now();
    RunTotals totals_;  // of the commands; the scans count their own
};

}  // namespace console
