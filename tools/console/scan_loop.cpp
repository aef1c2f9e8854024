#include "tools/console/scan_loop.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <thread>

#include "tools/console/gate_text.h"
#include "tools/console/health.h"
#include "tools/console/side_by_side.h"
#include "tools/hostsim/hostsim.h"

namespace console {
namespace {

using namespace std::chrono_literals;

constexpr auto kPollSettleLimit = 3s;

std::string RtuStateText(int32_t word) {
    switch (word) {
        case 1:
            return "active";
        case 3:
            return "disabled";
        case 0:
            return "not confirmed";
        default:
            return "unknown";
    }
}

std::string WordText(const SpecialGate& gate) {
    return gate.value < 0 ? "-" : std::to_string(gate.value);
}

}  // namespace

ScanLoop::ScanLoop(HostInstances& host, LogSink& log, Screen& screen)
    : host_(host), log_(log), screen_(screen), reconnect_(host) {
    for (InstanceState& instance : host_.instances()) {
        if (instance.running) {
            scans_.emplace_back(instance);
        }
    }
}

double ScanLoop::Elapsed() const {
    return std::chrono::duration<double>(Clock::now() - start_).count();
}

void ScanLoop::ReadGate(InstanceState& instance, GateState& gate) {
    switch (gate.address.kind) {
        case krogw::TableElement:  // values come by polls and reports
        case krogw::RtuTime:
        case krogw::SetCallExecute:
            return;
        case krogw::RtuChannelStatus: {
            uint8_t values[2 * kArrayWords] = {};
            gate.result = host_.GateIo(instance, krogw::kReadGateArray, gate.address, gate.host_id,
                                       values, kArrayWords);
            for (size_t at = 0; at < static_cast<size_t>(kArrayWords); ++at) {
                gate.words[at] = static_cast<uint16_t>(values[2 * at] | values[2 * at + 1] << 8);
            }
            return;
        }
        default: {
            uint8_t value[4] = {};
            gate.result =
                host_.GateIo(instance, krogw::kReadGate, gate.address, gate.host_id, value);
            gate.words[0] = static_cast<uint16_t>(value[2] | value[3] << 8);
            gate.raw = static_cast<uint32_t>(value[0] | value[1] << 8 | value[2] << 16) |
                       static_cast<uint32_t>(value[3]) << 24;
            return;
        }
    }
}

void ScanLoop::ReadDueGates(InstanceState& instance, Clock::time_point now, int32_t scan_ms) {
    for (GateState& gate : instance.gates) {
        if (now < gate.next_read) {
            continue;
        }
        const int32_t cycle = gate.definition->cycle_ms > 0 ? gate.definition->cycle_ms : scan_ms;
        gate.next_read = now + std::chrono::milliseconds(cycle);
        gate.last_read = now;
        ReadGate(instance, gate);
    }
}

void ScanLoop::ReadScreenGates(InstanceScan& scan) {
    InstanceState& instance = scan.instance;
    // A status read of the active gateway that goes unanswered is what moves the traffic
    // to the other one.
    for (SpecialGate& gate : instance.gateway_status) {
        host_.ReadWord(instance, gate);
    }
    for (auto& [rtu, gate] : instance.rtu_states) {
        host_.ReadWord(instance, gate);
    }
    const int32_t active_before = instance.active_gateway.value;
    for (SpecialGate* gate : {&instance.active_gateway, &instance.poll_load, &instance.command_load,
                              &instance.last_error_code}) {
        host_.ReadWord(instance, *gate);
    }
    // The gateway chosen at start-up is no switch-over; an unanswered read is none either.
    const int32_t active = instance.active_gateway.value;
    if (active_before > 0 && active > 0 && active != active_before) {
        ++scan.switch_overs;
    }
}

void ScanLoop::Tally(int32_t write_result) {
    switch (write_result) {
        case krogw::kResultDone:
            ++totals_.writes_done;
            return;
        case krogw::kResultNotDone:
            ++totals_.writes_refused;
            return;
        default:
            ++totals_.writes_failed;
    }
}

RunTotals ScanLoop::Totals() const {
    RunTotals totals = totals_;
    for (const InstanceScan& scan : scans_) {
        totals.switch_overs += scan.switch_overs.load();
    }
    for (const InstanceState& instance : host_.instances()) {
        for (const GateState& gate : instance.gates) {
            totals.values_received += ValuesReceived(gate);
        }
    }
    return totals;
}

void ScanLoop::AwaitTableValues(Clock::time_point deadline,
                                const volatile std::sig_atomic_t* stop) {
    const auto all_have_values = [this] {
        for (const InstanceState& instance : host_.instances()) {
            for (const GateState& gate : instance.gates) {
                if (instance.running && gate.address.kind == krogw::TableElement &&
                    !HasValue(gate)) {
                    return false;
                }
            }
        }
        return true;
    };
    while (!all_have_values() && Clock::now() < deadline && (stop == nullptr || *stop == 0)) {
        std::this_thread::sleep_for(100ms);
    }
}

void ScanLoop::AwaitPolls() {
    const auto end = Clock::now() + kPollSettleLimit;
    for (bool busy = true; busy && Clock::now() < end;) {
        std::this_thread::sleep_for(100ms);
        busy = false;
        for (InstanceState& instance : host_.instances()) {
            busy = busy || (instance.running &&
                            host_.ReadWord(instance, instance.poll_load) == krogw::kResultDone &&
                            instance.poll_load.value > 0);
        }
    }
}

std::vector<std::string> ScanLoop::Missing() {
    std::vector<std::string> missing;
    for (InstanceState& instance : host_.instances()) {
        if (!instance.running) {
            continue;
        }
        const bool answered =
            std::any_of(instance.gateway_status.begin(), instance.gateway_status.end(),
                        [](const SpecialGate& gate) { return gate.result == krogw::kResultDone; });
        if (!answered) {
            missing.push_back("instance " + std::to_string(instance.definition->driver_number) +
                              ": no gateway answered");
        }
        for (const GateDefinition* gate : instance.rejected) {
            missing.push_back("gate " + gate->name + ": address " + gate->address + " rejected");
        }
        for (const GateState& gate : instance.gates) {
            if (!HasValue(gate)) {
                missing.push_back("gate " + gate.definition->name + ": " + GateText(gate));
            }
        }
    }
    return missing;
}

std::vector<ScreenItem> ScanLoop::InstanceItems(InstanceState& instance) {
    const std::string number = std::to_string(instance.definition->driver_number);
    std::vector<ScreenItem> items;
    items.push_back({"instance " + number + " gateway", WordText(instance.active_gateway)});
    items.push_back(
        {"instance " + number + " load",
         "polls " + WordText(instance.poll_load) + " commands " + WordText(instance.command_load)});
    items.push_back({"instance " + number + " error code", WordText(instance.last_error_code)});
    for (auto& [rtu, gate] : instance.rtu_states) {
        items.push_back({"rtu " + number + "/" + std::to_string(rtu), RtuStateText(gate.value)});
    }
    for (const GateState& gate : instance.gates) {
        items.push_back({"gate " + gate.definition->name, GateText(gate), UpdatesText(gate)});
    }
    for (ScreenItem& item : HealthItems(host_, instance)) {
        items.push_back(std::move(item));
    }
    return items;
}

void ScanLoop::Pass(InstanceScan& scan, const ScanOptions& options, Clock::time_point planned) {
    InstanceState& instance = scan.instance;
    std::vector<ScreenItem> items;
    std::vector<std::string> notes;
    {
        std::lock_guard busy(instance.busy);
        ReadDueGates(instance, planned, options.scan_ms);
        ReadScreenGates(scan);
        if (options.reconnect && !options.once) {
            notes = reconnect_.Scan(instance, Clock::now());
        }
        NoteTableValues(instance);
        items = InstanceItems(instance);
    }
    std::lock_guard shown(scan.shown_mutex);
    scan.shown = std::move(items);
    scan.notes.insert(scan.notes.end(), notes.begin(), notes.end());
}

void ScanLoop::ScanInstance(InstanceScan& scan, const ScanOptions& options) {
    const auto period = std::chrono::milliseconds(options.scan_ms);
    for (auto next = Clock::now(); !stop_.WaitUntil(next);) {
        Pass(scan, options, next);
        // A pass longer than the scan starts the next at once, without a backlog.
        next = std::max(next + period, Clock::now());
    }
}

void ScanLoop::Refresh() {
    std::vector<ScreenItem> items;
    for (const InstanceState& instance : host_.instances()) {
        if (!instance.running) {
            items.push_back(
                {"instance " + std::to_string(instance.definition->driver_number), "not running"});
        }
    }
    for (InstanceScan& scan : scans_) {
        std::lock_guard shown(scan.shown_mutex);
        items.insert(items.end(), scan.shown.begin(), scan.shown.end());
        for (const std::string& note : scan.notes) {
            screen_.Note(note, Elapsed());
        }
        scan.notes.clear();
    }
    const std::string last_error = log_.last_error();
    const int later_errors = log_.later_errors();
    items.push_back(
        {"last error", last_error.empty() ? "-" : last_error,
         later_errors == 0 ? "" : " (and " + std::to_string(later_errors) + " more errors)"});
    screen_.Show(items, Elapsed());
}

RunEnd ScanLoop::RunOnce(const ScanOptions& options) {
    const auto now = Clock::now();
    SideBySide(scans_, [&](InstanceScan& scan) {
        std::lock_guard busy(scan.instance.busy);
        ReadDueGates(scan.instance, now, options.scan_ms);
    });
    AwaitPolls();
    AwaitTableValues(start_ + options.burst_wait, options.stop);
    // The gates read above are not due again: this pass reads the screen's gates.
    SideBySide(scans_, [&](InstanceScan& scan) { Pass(scan, options, now); });
    Refresh();
    return RunEnd::Once;
}

RunEnd ScanLoop::Serve(const ScanOptions& options, CommandInput& input) {
    const auto scan = std::chrono::milliseconds(options.scan_ms);
    const auto end = start_ + std::chrono::seconds(options.duration_s);
    for (auto next = Clock::now() + scan;;) {
        if (options.stop != nullptr && *options.stop != 0) {
            return RunEnd::Signal;
        }
        const auto now = Clock::now();
        if (options.duration_s > 0 && now >= end) {
            return RunEnd::Duration;
        }
        if (now >= next) {
            Refresh();
            next = now + scan;
        }
        // Short turns, so that a signal ends the scan soon.
        const auto deadline = std::min(options.duration_s > 0 ? std::min(next, end) : next,
                                       now + std::chrono::milliseconds(200));
        if (const auto line = input.Next(deadline)) {
            const CommandOutcome outcome = RunCommand(*line, host_);
            if (outcome.write_result) {
                Tally(*outcome.write_result);
            }
            if (!outcome.text.empty()) {
                screen_.Note(outcome.text, Elapsed());
            }
            if (outcome.quit) {
                return RunEnd::Quit;
            }
        }
    }
}

RunEnd ScanLoop::Run(const ScanOptions& options, CommandInput& input) {
    if (options.once) {
        return RunOnce(options);
    }
    std::vector<std::thread> threads;
    for (InstanceScan& scan : scans_) {
        threads.emplace_back([this, &scan, &options] { ScanInstance(scan, options); });
    }
    const RunEnd end = Serve(options, input);
    stop_.Stop();
    for (std::thread& thread : threads) {
        thread.join();
    }
    // What the last passes saw.
    Refresh();
    return end;
}

}  // namespace console
