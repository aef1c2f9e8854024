// What the gate read and write handlers share: the argument block, the value word
// of the host's value buffer, the write a request asks for and the poll of a gate.
#pragma once

#include <cstdint>

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

}  // namespace krogw
