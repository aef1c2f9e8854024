#include "tools/console/host_instances.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <set>
#include <thread>
#include <utility>

#include "tools/console/side_by_side.h"
#include "tools/hostsim/hostsim.h"

namespace console {
namespace {

using namespace std::chrono_literals;

constexpr int32_t kReplyTimeout10ms = 300;
constexpr auto kClientEndLimit = 15s;
constexpr int kInstanceThreads = 2;  // each lets the client go once

std::string Numbered(const char* format, int32_t number) {
    char text[32];
    std::snprintf(text, sizeof text, format, number);
    return text;
}

// The RTU a gate of this kind concerns, or 0.
int32_t RtuOf(const krogw::GateAddress& address) {
    switch (address.kind) {
        case krogw::TableElement:
        case krogw::PollRows:
        case krogw::PollNumberedRows:
        case krogw::RtuChannelStatus:
            return address.unit_id;
        case krogw::RtuStatus:
        case krogw::RtuTime:
            return address.subaddress;
        default:
            return 0;
    }
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += (text.empty() ? "" : "; ") + line;
    }
    return text;
}

}  // namespace

int32_t HostInstances::Call(InstanceState& instance, int32_t code, void* arguments) const {
    hostsim::LogForClient(instance.client);
    hostsim::LogForInstance(instance.definition->driver_number);
    return driver_.Call(instance.context.data(), code, instance.definition->driver_number,
                        arguments);
}

int32_t HostInstances::GateIo(InstanceState& instance, int32_t code,
                              const krogw::GateAddress& address, int32_t host_id, uint8_t* value,
                              int32_t element_count) const {
    krogw::GateIoArguments io{{}, address, 0, element_count, host_id, value};
    return Call(instance, code, &io);
}

int32_t HostInstances::ReadWord(InstanceState& instance, SpecialGate& gate) const {
    uint8_t value[4] = {};
    const int32_t result = GateIo(instance, krogw::kReadGate, gate.words, 0, value);
    gate.value = result == krogw::kResultDone ? value[2] | value[3] << 8 : -1;
    gate.result = result;
    return result;
}

std::optional<uint32_t> HostInstances::ReadStatistic(InstanceState& instance,
                                                     const std::string& address) const {
    auto words = instance.statistic_words.find(address);
    if (words == instance.statistic_words.end()) {
        krogw::AddressCheckArguments check{address.c_str(), 0, 0, 0, {}};
        if (Call(instance, krogw::kParseGateAddress, &check) != krogw::kResultDone) {
            return std::nullopt;
        }
        words = instance.statistic_words.emplace(address, check.address).first;
    }
    uint8_t value[4] = {};
    if (GateIo(instance, krogw::kReadGate, words->second, 0, value) != krogw::kResultDone) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(value[0] | value[1] << 8 | value[2] << 16) |
           static_cast<uint32_t>(value[3]) << 24;
}

bool HostInstances::Start(const Project& project, const std::string& project_folder,
                          std::vector<std::string>& report) {
    project_path_ = project.path;
    instances_.clear();
    struct Starting {
        InstanceState* instance;
        std::vector<std::string> report;
        bool started = false;
    };
    std::vector<Starting> starts;
    for (const InstanceDefinition& definition : project.instances) {
        InstanceState& instance = instances_.emplace_back();
        instance.definition = &definition;
        const size_t words =
            (static_cast<size_t>(driver_.info().context_size) + sizeof(std::max_align_t) - 1) /
            sizeof(std::max_align_t);
        instance.context.assign(words, std::max_align_t{});
        starts.push_back({&instance, {}});
    }
    SideBySide(starts, [&](Starting& start) {
        start.started = StartInstance(*start.instance, project_folder, start.report);
    });
    // In the project's order, whichever instance was done first.
    bool started = true;
    for (Starting& start : starts) {
        report.insert(report.end(), start.report.begin(), start.report.end());
        started = started && start.started;
    }
    return started;
}

bool HostInstances::StartInstance(InstanceState& instance, const std::string& project_folder,
                                  std::vector<std::string>& report) {
    const InstanceDefinition& definition = *instance.definition;
    const std::string number = std::to_string(definition.driver_number);
    std::error_code failed;
    std::filesystem::copy_file(std::filesystem::path(project_folder) / definition.configuration,
                               Numbered("kroGW%.2d.int", definition.driver_number),
                               std::filesystem::copy_options::overwrite_existing, failed);
    if (failed) {
        report.push_back("instance " + number + ": cannot copy " + definition.configuration + ": " +
                         failed.message());
        return false;
    }
    const uint64_t mark = log_.Mark();
    krogw::StartArguments start{{}, 1, kReplyTimeout10ms};
    const int32_t result = Call(instance, krogw::kStartInstance, &start);
    if (result != krogw::kResultDone) {
        report.push_back("instance " + number + " did not start (result " + std::to_string(result) +
                         "): " + Joined(log_.Since(mark, definition.driver_number)));
        return false;
    }
    instance.running = true;
    if (const auto client = hostsim::ClientByName(
            Numbered("GateWay_No_%.2d", instance.definition->driver_number))) {
        instance.client = *client;
        log_.NameClient(*client, instance.definition->driver_number);
    }
    DefineGates(instance, report);
    PrepareScreenGates(instance);
    return true;
}

void HostInstances::DefineGates(InstanceState& instance, std::vector<std::string>& report) {
    const InstanceDefinition& definition = *instance.definition;
    for (const GateDefinition& gate : definition.gates) {
        std::lock_guard define(define_mutex_);
        krogw::GateAddress words{};
        std::string reason;
        if (!CheckAddress(instance, gate, words, reason)) {
            report.push_back(project_path_ + ":" + std::to_string(gate.line) + ": gate " +
                             gate.name + " address " + gate.address + " rejected: " + reason);
            instance.rejected.push_back(&gate);
            continue;
        }
        GateState state;
        state.definition = &gate;
        state.address = words;
        // Cooked so that the screen shows the RTU's own numbers.
        const double unit = ValueInHighWord(words) ? kHighWordUnit : 1.0;
        state.host_id =
            hostsim::DefineGate(definition.driver_number, words, {gate.scale / unit, gate.offset});
        next_host_id_ = state.host_id + 1;
        instance.gates.push_back(state);
    }
}

bool HostInstances::CheckAddress(InstanceState& instance, const GateDefinition& gate,
                                 krogw::GateAddress& words, std::string& reason) {
    const uint64_t mark = log_.Mark();
    krogw::AddressCheckArguments check{
        gate.address.c_str(), next_host_id_, 0, gate.element_count, {}};
    const int32_t code =
        gate.element_count > 0 ? krogw::kCheckArrayAddress : krogw::kParseGateAddress;
    if (Call(instance, code, &check) == krogw::kResultDone) {
        words = check.address;
        return true;
    }
    reason = Joined(log_.Since(mark, instance.definition->driver_number));
    if (reason.empty()) {
        reason = gate.element_count > 0
                     ? "not an array address of this instance (RTU channel status with count=5,"
                       " or a table element with count up to 250)"
                     : "no address form of this instance matches (unknown form, RTU 0, a"
                       " number out of range, or a table type the configuration lacks)";
    }
    return false;
}

bool HostInstances::PrepareSpecialGate(InstanceState& instance, const std::string& address,
                                       SpecialGate& gate) {
    gate.address = address;
    krogw::AddressCheckArguments check{address.c_str(), 0, 0, 0, {}};
    if (Call(instance, krogw::kParseGateAddress, &check) != krogw::kResultDone) {
        return false;
    }
    gate.words = check.address;
    return true;
}

void HostInstances::PrepareScreenGates(InstanceState& instance) {
    PrepareSpecialGate(instance, "!BACKUP", instance.active_gateway);
    PrepareSpecialGate(instance, "!POLL", instance.poll_load);
    PrepareSpecialGate(instance, "!CMD", instance.command_load);
    // The driver also puts its result codes into the host's !ERROR gate.
    if (PrepareSpecialGate(instance, "!ERROR", instance.last_error_code) &&
        std::none_of(instance.gates.begin(), instance.gates.end(),
                     [](const GateState& gate) { return gate.address.kind == krogw::LastError; })) {
        std::lock_guard define(define_mutex_);
        hostsim::DefineGate(instance.definition->driver_number, instance.last_error_code.words);
        ++next_host_id_;
    }
    for (const char* address : {"!1", "!2"}) {
        SpecialGate gate;
        if (PrepareSpecialGate(instance, address, gate)) {
            instance.gateway_status.push_back(gate);
        }
    }
    std::set<int32_t> rtus;
    for (const GateState& gate : instance.gates) {
        if (const int32_t rtu = RtuOf(gate.address); rtu > 0) {
            rtus.insert(rtu);
        }
    }
    for (const int32_t rtu : rtus) {
        SpecialGate gate;
        if (PrepareSpecialGate(instance, Numbered("!%.5d", rtu), gate)) {
            instance.rtu_states.emplace_back(rtu, gate);
        }
    }
}

HostInstances::Closed HostInstances::Stop() {
    std::atomic<int> instances{0};
    std::atomic<int> gateways{0};
    SideBySide(instances_, [&](InstanceState& instance) {
        if (Close(instance)) {
            ++instances;
            gateways += static_cast<int>(instance.gateway_status.size());
        }
    });
    return {instances.load(), gateways.load()};
}

bool HostInstances::Close(InstanceState& instance) {
    if (!instance.running) {
        return false;
    }
    Call(instance, krogw::kCloseInstance, nullptr);
    instance.running = false;
    if (instance.client == 0) {
        return true;
    }
    hostsim::EndClient(instance.client);
    // The context may go only when both threads have let the client go: the first may
    // still be closing the gateway channels on it.
    const auto end = Clock::now() + kClientEndLimit;
    while (hostsim::ClientRemovals(instance.client) < kInstanceThreads) {
        if (Clock::now() >= end) {
            std::fprintf(stderr,
                         "krogw-host: instance %d: the driver's threads did not let go within "
                         "%d s; its context is kept\n",
                         instance.definition->driver_number,
                         static_cast<int>(kClientEndLimit.count()));
            // Never freed: a thread of the driver may still work on it.
            static std::mutex kept_mutex;
            static auto* kept = new std::vector<std::vector<std::max_align_t>>;
            std::lock_guard lock(kept_mutex);
            kept->push_back(std::move(instance.context));
            return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

}  // namespace console
