// What the gate read and write handlers share: the argument block, the value word
// of the host's value buffer and the state of the RTU a gate names.
#pragma once

#include <cstdint>
#include <optional>

#include "context/command_write.h"
#include "context/context.h"
#include "include/krogw/abi.h"

namespace krogw {

inline GateIoArguments& GateIoOf(HostRequest& request) {
    return *static_cast<GateIoArguments*>(request.arguments);
}

// The 16-bit word at bytes 2-3 of the value buffer, little-endian: the upper half of
// the host's raw word, through which every special gate is read and written.
uint16_t ValueWord(const GateIoArguments& io);
void PutValueWord(GateIoArguments& io, uint16_t value);

// The write that a gate write request asks for.
CommandWrite CommandWriteFromRequest(const GateIoArguments& arguments);

// A poll (opcode 257 or 261) of the gate's rows; a poll that went out clears the value
// word.
int32_t PollGate(DriverContext& context, uint32_t opcode, GateIoArguments& io);

// The state of RTU `rtu`; false when the number cannot name an RTU, which the
// handlers answer with 1 instead of reading outside the table.
bool RtuStateOf(const DriverContext& context, int32_t rtu, uint8_t& state);
bool SetRtuState(DriverContext& context, int32_t rtu, RtuState state);

// A disabled RTU is never contacted: polls, writes and clock setting for it answer 0
// without anything sent, and a number that names no RTU answers 1. Empty when the
// request may go on to the RTU.
std::optional<int32_t> AnswerWithoutContact(const DriverContext& context, int32_t rtu);

// The gate reads and writes that need no gateway exchange: load, active gateway,
// last error and the stored SetCall parameters.
int32_t ReadDriverGate(const DriverContext& context, GateIoArguments& io);
int32_t WriteSetCallParameter(DriverContext& context, const GateIoArguments& io);
int32_t WriteRtuStatus(DriverContext& context, const GateIoArguments& io);

// The read of a gateway status gate: the query with one retry, and the switch-over
// or closing that a silent or confused gateway calls for.
int32_t ReadGatewayStatus(DriverContext& context, GateIoArguments& io);

}  // namespace krogw
