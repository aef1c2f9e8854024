#include "tools/check/gate_diagnosis.h"

#include <cstdio>

#include "address/address_check.h"
#include "address/address_templates.h"
#include "address/subaddress.h"
#include "config/table_layout.h"
#include "tools/check/check_report.h"
#include "tools/check/reject_reason.h"

namespace krogw_check {
namespace {

constexpr uint32_t kNever = 0xFFFFFFFFu;
constexpr int32_t kRtuDisabled = 3;
// A value older than this counts as no longer arriving.
constexpr uint32_t kStaleAgeS = 60;

struct Decoded {
    bool accepted = false;
    krogw::GateAddress words{};
    int table_type = 0;  // a table element's, from its text
    std::string reason;  // when refused
};

Decoded Decode(const std::string& address, krogw::DriverContext& context) {
    Decoded decoded;
    krogw::AddressCheck check{};
    check.allow_duplicates = true;
    if (!krogw::NormalizeAddress(address.c_str(), check.field) ||
        !krogw::MatchesAnyTemplate(check.field)) {
        decoded.reason = RejectReason(address, std::nullopt, 0, context);
        return decoded;
    }
    krogw::AddressCheckArguments arguments{};
    arguments.address_text = address.c_str();
    decoded.accepted = krogw::DecodeAddress(check, arguments, context, decoded.words);
    if (!decoded.accepted) {
        decoded.reason = RejectReason(address, std::nullopt, 0, context);
    }
    int32_t table_type = 0;
    krogw::ReadFieldNumber(check.field, 8, 2, table_type);
    decoded.table_type = table_type;
    return decoded;
}

// A poll gate of the project that asks for the element's row.
struct Cover {
    std::string address;
    int table_type;
};

std::vector<Cover> CoveringPolls(const krogw::GateAddress& element,
                                 const std::vector<std::string>& addresses,
                                 krogw::DriverContext& context) {
    const krogw::TableElementPlace place = krogw::UnpackTableElement(element.subaddress);
    std::vector<Cover> covers;
    for (const std::string& address : addresses) {
        const Decoded poll = Decode(address, context);
        if (!poll.accepted ||
            (poll.words.kind != krogw::PollRows && poll.words.kind != krogw::PollNumberedRows) ||
            poll.words.unit_id != element.unit_id) {
            continue;
        }
        const krogw::PollBlock block = krogw::UnpackPoll(poll.words.subaddress);
        const int rows = block.rows > 0 ? block.rows : 1;
        if (block.table == place.table && place.row >= block.first_row &&
            place.row < block.first_row + rows) {
            covers.push_back({address, block.table_type});
        }
    }
    return covers;
}

std::string Number(std::optional<uint32_t> value, const char* unit) {
    if (!value) {
        return "?";
    }
    return *value == kNever ? "never" : std::to_string(*value) + unit;
}

std::string RtuStateText(std::optional<int32_t> state) {
    if (!state) {
        return "unknown";
    }
    switch (*state) {
        case 1:
            return "active";
        case kRtuDisabled:
            return "disabled";
        default:
            return "not confirmed or failed";
    }
}

class Chain {
  public:
    void Link(const std::string& name, const std::string& evidence) {
        diagnosis_.links.push_back(name + ": " + evidence);
    }
    // The first cause found is the verdict.
    void Cause(const std::string& verdict) {
        if (diagnosis_.verdict.empty()) {
            diagnosis_.verdict = verdict;
        }
    }
    Diagnosis Done(const std::string& otherwise) {
        Cause(otherwise);
        return diagnosis_;
    }

  private:
    Diagnosis diagnosis_;
};

void WalkLayout(const Decoded& gate, krogw::DriverContext& context, Chain& chain) {
    const krogw::TableElementPlace place = krogw::UnpackTableElement(gate.words.subaddress);
    chain.Link("table type", DescribeLayout(context, gate.table_type));
    const krogw::TableLayout layout = krogw::TableLayoutOf(context, gate.table_type);
    const std::string unfed = UnfedColumnWarning(gate.words, gate.table_type, context);
    chain.Link("column", "column " + std::to_string(place.column) + " of " +
                             std::to_string(layout.column_count) +
                             (unfed.empty() ? "" : ": " + unfed));
    if (!unfed.empty()) {
        chain.Cause(unfed);
    }
}

void WalkPolls(const Decoded& gate, const std::vector<std::string>& addresses,
               krogw::DriverContext& context, const GateFacts& facts, Chain& chain) {
    const krogw::TableElementPlace place = krogw::UnpackTableElement(gate.words.subaddress);
    const std::vector<Cover> covers = CoveringPolls(gate.words, addresses, context);
    if (covers.empty()) {
        chain.Link("polls", "no poll gate of the project asks for row " +
                                std::to_string(place.row) + " of table " +
                                std::to_string(place.table) + " of RTU " +
                                std::to_string(gate.words.unit_id));
    }
    for (const Cover& cover : covers) {
        const auto run = facts.poll_runs.find(cover.address);
        chain.Link("polls", cover.address + " asks for the row as table type " +
                                std::to_string(cover.table_type) +
                                (run != facts.poll_runs.end() ? ", " + run->second : ""));
        if (cover.table_type != gate.table_type) {
            chain.Cause("table type mismatch: poll " + cover.address +
                        " reads the row as table type " + std::to_string(cover.table_type) +
                        ", the gate says " + std::to_string(gate.table_type));
        }
    }
    if (!covers.empty()) {
        return;
    }
    if (!facts.running) {
        chain.Cause("row " + std::to_string(place.row) +
                    " is outside every poll: only burst reports of RTU " +
                    std::to_string(gate.words.unit_id) + " can bring its value");
    } else if (facts.rtu_bursts.value_or(0) == 0) {
        chain.Cause("row " + std::to_string(place.row) + " is outside every poll and RTU " +
                    std::to_string(gate.words.unit_id) + " has sent no burst report");
    }
}

void WalkLive(const Decoded& gate, const GateFacts& facts, Chain& chain) {
    const int32_t rtu = gate.words.unit_id;
    chain.Link("rtu", "RTU " + std::to_string(rtu) + " " + RtuStateText(facts.rtu_state) +
                          ", last value " + Number(facts.rtu_age_s, " s ago") + ", values " +
                          Number(facts.rtu_values, "") + ", bursts " +
                          Number(facts.rtu_bursts, "") + ", polls ok " +
                          Number(facts.rtu_polls_ok, "") + " failed " +
                          Number(facts.rtu_polls_failed, ""));
    if (facts.rtu_state == kRtuDisabled) {
        char state_gate[8];
        std::snprintf(state_gate, sizeof state_gate, "!%.5d", static_cast<int>(rtu));
        chain.Cause("RTU " + std::to_string(rtu) + " is disabled: write 1 to its " + state_gate +
                    " gate (enable) to bring it back");
    }
    const int32_t active = facts.active_gateway.value_or(0);
    chain.Link("gateway", "active gateway " + std::to_string(active) + ", up " +
                              Number(facts.gateway_up_s, " s") + ", last message " +
                              Number(facts.gateway_silent_ms, " ms ago"));
    if (facts.gateway_up_s == 0u) {
        chain.Cause("gateway " + std::to_string(active) +
                    " is down: its channels are not open (check it, or reconnect)");
    }
    const int32_t code = facts.last_error.value_or(0);
    chain.Link("last error", std::to_string(code) + ", " + ResultCodeMeaning(code));
}

void WalkValue(const GateFacts& facts, Chain& chain) {
    const uint64_t updates = facts.updates.value_or(0);
    const uint64_t unchanged = facts.unchanged_updates.value_or(0);
    chain.Link("value", std::to_string(updates) + " values received, the last " +
                            std::to_string(unchanged) + " of them equal to the one before");
    if (updates > 0 && unchanged >= 2) {
        chain.Cause("values arrive (" + std::to_string(updates) +
                    " so far) but are all the same: the RTU's value does not change");
    }
    if (updates == 0 && facts.rtu_polls_failed.value_or(0) > 0) {
        chain.Cause("the polls of the row fail: see the last error");
    }
    if (facts.rtu_age_s && *facts.rtu_age_s != kNever && *facts.rtu_age_s > kStaleAgeS) {
        chain.Cause("nothing has come from the RTU for " + std::to_string(*facts.rtu_age_s) + " s");
    }
    if (updates == 0) {
        chain.Cause("no value has arrived yet");
    }
}

}  // namespace

Diagnosis DiagnoseGate(const std::string& address, const std::vector<std::string>& addresses,
                       krogw::DriverContext& context, const GateFacts& facts) {
    Chain chain;
    const Decoded gate = Decode(address, context);
    if (!gate.accepted) {
        chain.Link("address", "'" + address + "' rejected: " + gate.reason);
        chain.Cause("the driver rejects the address: " + gate.reason);
        return chain.Done("");
    }
    chain.Link("address",
               "'" + address + "' accepted: " + DescribeWords(gate.words, gate.table_type));
    if (gate.words.kind != krogw::TableElement) {
        return chain.Done(
            "not a table value: the gate's value comes from its own read, not from "
            "polls or burst reports");
    }
    WalkLayout(gate, context, chain);
    if (facts.running) {
        WalkLive(gate, facts, chain);
    }
    WalkPolls(gate, addresses, context, facts, chain);
    if (!facts.running) {
        return chain.Done(
            "nothing in the configuration stops the value; ask krogw-host's why "
            "for what the running driver sees");
    }
    WalkValue(facts, chain);
    return chain.Done("the gate is updating");
}

std::string ResultCodeMeaning(int32_t code) {
    switch (code) {
        case 0:
            return "success";
        case 59:
            return "a burst report did not fit the table layouts (the driver's own code)";
        case 129:
            return "the gateway could not reach the RTU";
        default:
            return "the gateway refused the request (its own reason: see the gateway's manual)";
    }
}

}  // namespace krogw_check
