// "Why is this gate not updating?": the chain from a gate's address to its value, link
// by link with its evidence, and a verdict naming the first broken link. The checker
// walks what a configuration tells; the console host adds what the running driver's
// gates tell.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "context/context.h"

namespace krogw_check {

// What a running host knows of the gate and its RTU and gateway; nothing offline.
struct GateFacts {
    bool running = false;
    std::optional<int32_t> rtu_state;  // the !RRRRR word: 1 active, 3 disabled, 0 otherwise
    std::optional<uint32_t> rtu_age_s;  // 0xFFFFFFFF: no value yet
    std::optional<uint32_t> rtu_values;
    std::optional<uint32_t> rtu_bursts;
    std::optional<uint32_t> rtu_polls_ok;
    std::optional<uint32_t> rtu_polls_failed;
    std::optional<int32_t> active_gateway;  // 1 or 2
    std::optional<uint32_t> gateway_up_s;
    std::optional<uint32_t> gateway_silent_ms;
    std::optional<int32_t> last_error;
    std::optional<uint64_t> updates;            // values the gate received
    std::optional<uint64_t> unchanged_updates;  // of them, since its value last changed
    std::map<std::string, std::string> poll_runs;  // poll address -> when it last ran
};

struct Diagnosis {
    std::vector<std::string> links;  // "name: evidence", in the chain's order
    std::string verdict;
};

// The chain for the gate at `address` among the project's gates (`addresses`, which may
// include it), against a configuration already read into `context`.
Diagnosis DiagnoseGate(const std::string& address, const std::vector<std::string>& addresses,
                       krogw::DriverContext& context, const GateFacts& facts);

// The meaning of a result code in the !ERROR gate, as the troubleshooting guide gives it.
std::string ResultCodeMeaning(int32_t code);

}  // namespace krogw_check
