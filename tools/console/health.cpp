#include "tools/console/health.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <sstream>

#include "context/context.h"
#include "tools/check/config_check.h"
#include "tools/check/gate_diagnosis.h"
#include "tools/hostsim/hostsim.h"

namespace console {
namespace {

constexpr uint32_t kNever = 0xFFFFFFFFu;
// An RTU whose last value is older than this is shown as quiet.
constexpr uint32_t kFreshAgeS = 10;

std::string Prefix(const InstanceState& instance, const char* what, int32_t number) {
    return "health " + std::to_string(instance.definition->driver_number) + " " + what + " " +
           std::to_string(number);
}

std::string Shown(std::optional<uint32_t> value) {
    if (!value) {
        return "-";
    }
    return *value == kNever ? "never" : std::to_string(*value);
}

// "!1.UP" or "!00007.AGE".
std::string GatewayStatistic(int gateway, const char* name) {
    char text[24];
    std::snprintf(text, sizeof text, "!%d.%s", gateway, name);
    return text;
}

std::string RtuStatistic(int32_t rtu, const char* name) {
    char text[24];
    std::snprintf(text, sizeof text, "!%.5d.%s", static_cast<int>(rtu), name);
    return text;
}

ScreenItem GatewayItem(HostInstances& host, InstanceState& instance, int gateway) {
    const auto read = [&](const char* name) {
        return host.ReadStatistic(instance, GatewayStatistic(gateway, name));
    };
    const auto up = read("UP");
    const std::string state = !up ? "-" : (*up > 0 ? "up" : "down");
    const std::string since = up && *up > 0 ? " for " + Shown(up) + " s," : ",";
    return {Prefix(instance, "gateway", gateway), state,
            since + " silent " + Shown(read("SILENT")) + " ms, drops " + Shown(read("DROPS")) +
                ", timeouts " + Shown(read("TIMEOUTS")) + ", rtt avg " + Shown(read("RTTAVG")) +
                " ms, messages tx " + Shown(read("TXMSG")) + " rx " + Shown(read("RXMSG"))};
}

ScreenItem RtuItem(HostInstances& host, InstanceState& instance, int32_t rtu) {
    const auto read = [&](const char* name) {
        return host.ReadStatistic(instance, RtuStatistic(rtu, name));
    };
    const auto age = read("AGE");
    std::string state = "-";
    if (age) {
        state = *age == kNever ? "no value yet" : (*age <= kFreshAgeS ? "fresh" : "quiet");
    }
    return {Prefix(instance, "rtu", rtu), state,
            ", age " + Shown(age) + " s, values " + Shown(read("VALUES")) + ", polls ok " +
                Shown(read("POLLOK")) + " failed " + Shown(read("POLLFAIL")) + ", writes ok " +
                Shown(read("WRITEOK")) + " failed " + Shown(read("WRITEFAIL"))};
}

struct Located {
    InstanceState* instance = nullptr;
    GateState* gate = nullptr;
};

Located FindGate(HostInstances& host, const std::string& name) {
    for (InstanceState& instance : host.instances()) {
        for (GateState& gate : instance.gates) {
            if (gate.definition->name == name) {
                return {&instance, &gate};
            }
        }
        for (const GateDefinition* rejected : instance.rejected) {
            if (rejected->name == name) {
                return {&instance, nullptr};
            }
        }
    }
    return {};
}

const GateDefinition* DefinitionNamed(const InstanceState& instance, const std::string& name) {
    for (const GateDefinition& gate : instance.definition->gates) {
        if (gate.name == name) {
            return &gate;
        }
    }
    return nullptr;
}

std::string SecondsAgo(Clock::time_point then) {
    if (then == Clock::time_point{}) {
        return "not run yet";
    }
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - then).count();
    return "last ran " + std::to_string(seconds) + " s ago";
}

krogw_check::GateFacts Facts(HostInstances& host, InstanceState& instance, const GateState* gate) {
    krogw_check::GateFacts facts;
    facts.running = instance.running;
    for (const GateState& other : instance.gates) {
        if (other.address.kind == krogw::PollRows ||
            other.address.kind == krogw::PollNumberedRows) {
            facts.poll_runs[other.definition->address] =
                SecondsAgo(other.last_read) +
                (other.result < 0 ? "" : ", result " + std::to_string(other.result));
        }
    }
    if (gate == nullptr || gate->address.kind != krogw::TableElement) {
        return facts;
    }
    const int32_t rtu = gate->address.unit_id;
    for (auto& [number, state] : instance.rtu_states) {
        if (number == rtu && host.ReadWord(instance, state) == krogw::kResultDone) {
            facts.rtu_state = state.value;
        }
    }
    facts.rtu_age_s = host.ReadStatistic(instance, RtuStatistic(rtu, "AGE"));
    facts.rtu_values = host.ReadStatistic(instance, RtuStatistic(rtu, "VALUES"));
    facts.rtu_bursts = host.ReadStatistic(instance, RtuStatistic(rtu, "BURSTS"));
    facts.rtu_polls_ok = host.ReadStatistic(instance, RtuStatistic(rtu, "POLLOK"));
    facts.rtu_polls_failed = host.ReadStatistic(instance, RtuStatistic(rtu, "POLLFAIL"));
    if (host.ReadWord(instance, instance.active_gateway) == krogw::kResultDone) {
        facts.active_gateway = instance.active_gateway.value;
        facts.gateway_up_s =
            host.ReadStatistic(instance, GatewayStatistic(instance.active_gateway.value, "UP"));
        facts.gateway_silent_ms =
            host.ReadStatistic(instance, GatewayStatistic(instance.active_gateway.value, "SILENT"));
    }
    if (host.ReadWord(instance, instance.last_error_code) == krogw::kResultDone) {
        facts.last_error = instance.last_error_code.value;
    }
    if (const auto value = hostsim::GateValueOf(gate->host_id)) {
        facts.updates = value->updates;
        facts.unchanged_updates = value->updates - gate->updates_at_change;
    } else {
        facts.updates = 0;
    }
    return facts;
}

}  // namespace

std::vector<ScreenItem> HealthItems(HostInstances& host, InstanceState& instance) {
    std::vector<ScreenItem> items;
    for (size_t gateway = 1; gateway <= instance.gateway_status.size(); ++gateway) {
        items.push_back(GatewayItem(host, instance, static_cast<int>(gateway)));
    }
    for (const auto& [rtu, state] : instance.rtu_states) {
        items.push_back(RtuItem(host, instance, rtu));
    }
    return items;
}

void NoteTableValues(InstanceState& instance) {
    for (GateState& gate : instance.gates) {
        if (gate.address.kind != krogw::TableElement) {
            continue;
        }
        const auto value = hostsim::GateValueOf(gate.host_id);
        if (value && (!gate.seen_value || *gate.seen_value != value->value)) {
            gate.seen_value = value->value;
            gate.updates_at_change = value->updates;
        }
    }
}

std::string WhyText(HostInstances& host, const std::string& name) {
    const Located located = FindGate(host, name);
    if (located.instance == nullptr) {
        return "why: no gate " + name;
    }
    InstanceState& instance = *located.instance;
    std::lock_guard busy(instance.busy);
    const GateDefinition* definition = DefinitionNamed(instance, name);
    // The configuration as the driver read it, in a context of its own.
    const std::filesystem::path folder = std::filesystem::path(host.project_path()).parent_path();
    const std::string path = (folder / instance.definition->configuration).string();
    std::string text;
    krogw_check::ReadFileText(path, text);
    auto context = std::make_unique<krogw::DriverContext>();
    krogw::ResetContext(static_cast<uint8_t>(instance.definition->driver_number), *context);
    // Its findings were told at start-up; the driver's reader logs its lines as ever.
    std::ostringstream told_before;
    krogw_check::Findings findings(told_before);
    krogw_check::CheckConfiguration(path, text, *context, findings, nullptr);
    std::vector<std::string> addresses;
    for (const GateDefinition& gate : instance.definition->gates) {
        addresses.push_back(gate.address);
    }
    const krogw_check::Diagnosis diagnosis = krogw_check::DiagnoseGate(
        definition->address, addresses, *context, Facts(host, instance, located.gate));
    std::string answer = "why " + name;
    for (const std::string& link : diagnosis.links) {
        answer += "\n  " + link;
    }
    return answer + "\nverdict: " + diagnosis.verdict;
}

}  // namespace console
