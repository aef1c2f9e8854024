#include "driver/gate_io.h"

#include "exchange/polls.h"

namespace krogw {
namespace {

constexpr size_t kValueWordOffset = 2;

// The host's raw word: value-buffer bytes 0-3, little-endian.
uint32_t RawWord(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

}  // namespace

uint16_t ValueWord(const GateIoArguments& io) {
    const uint8_t* word = io.value_buffer + kValueWordOffset;
    return static_cast<uint16_t>(word[0] | (word[1] << 8));
}

void PutValueWord(GateIoArguments& io, uint16_t value) {
    uint8_t* word = io.value_buffer + kValueWordOffset;
    word[0] = static_cast<uint8_t>(value);
    word[1] = static_cast<uint8_t>(value >> 8);
}

CommandWrite CommandWriteFromRequest(const GateIoArguments& arguments) {
    CommandWrite write{};
    write.rtu = arguments.address.unit_id;
    write.subaddress = arguments.address.subaddress;
    write.bit_width = arguments.address.bit_width;
    write.element_count = arguments.element_count;
    write.elements = arguments.value_buffer;
    // An array of two 8-bit elements may be all the host's buffer holds.
    if (arguments.value_buffer != nullptr && arguments.element_count == 1) {
        write.single_value = RawWord(arguments.value_buffer);
    }
    return write;
}

int32_t PollGate(DriverContext& context, uint32_t opcode, GateIoArguments& io) {
    const PollAnswer answer =
        RequestPoll(context, opcode, io.address.unit_id, io.address.subaddress);
    if (answer.sent && io.value_buffer != nullptr) {
        PutValueWord(io, 0);
    }
    return answer.result;
}

}  // namespace krogw
