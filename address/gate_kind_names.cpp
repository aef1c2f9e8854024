#include "address/gate_kind_names.h"

#include <array>

#include "include/krogw/abi.h"

namespace krogw {
namespace {

constexpr std::array<const char*, kGateKindCount> kNames = {
    "TableElement",     "GatewayStatus", "RtuStatus",        "PollRows",         "LastError",
    "PollNumberedRows", "PollLoad",      "ActiveGateway",    "CommandLoad",      "RtuTime",
    "SetCallExecute",   "SetCallRtu",    "SetCallQr",        "SetCallQd",        "SetCallQc",
    "SetCallSr",        "SetCallSd",     "RtuChannelStatus", "GatewayStatistic", "RtuStatistic",
};

}  // namespace

const char* GateKindName(int32_t kind) {
    return kind >= 0 && kind < kGateKindCount ? kNames[static_cast<size_t>(kind)] : "unknown";
}

}  // namespace krogw
