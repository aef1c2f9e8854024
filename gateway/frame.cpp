#include "gateway/frame.h"

#include <cstring>

namespace krogw {
namespace {

// message_class and channel_id travel least significant byte first, and aux_word
// carries its value in its first byte.
void PutU16Le(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void PutU32Le(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint16_t GetU16Le(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

uint32_t GetU32Le(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

}  // namespace

void PutU16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value >> 8);
    at[1] = static_cast<uint8_t>(value);
}

void PutU32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * (3 - i)));
    }
}

uint16_t GetU16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] << 8 | at[1]);
}

uint32_t GetU32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) << 24 | static_cast<uint32_t>(at[1]) << 16 |
           static_cast<uint32_t>(at[2]) << 8 | static_cast<uint32_t>(at[3]);
}

uint32_t GwMessageClass(uint32_t opcode) {
    switch (GwMessageType(opcode)) {
        case kOpSendData:
        case kOpSendCommand:
        case kOpSetCall:
        case kOpSetRtuTime:
            return 1;
        case kOpGatewayStatus:
        case kOpRtuChannelStatus:
            return 2;
        case kOpPoll:
        case kOpPollRowList:
            return 3;
        default:
            return 0;
    }
}

GwFrame GwRequestFrame(uint32_t opcode, uint16_t channel_id, uint16_t data_length) {
    GwFrame frame{};
    frame.header.head_mark = 1;
    frame.header.message_class = GwMessageClass(opcode);
    frame.header.channel_id = channel_id;
    frame.header.total_length = static_cast<uint16_t>(kGwBodyOffset + data_length);
    frame.header.tail_mark = 1;
    frame.command.opcode = opcode;
    frame.command.data_length = data_length;
    return frame;
}

bool WriteGwFrame(const GwFrame& frame, uint8_t* buffer, size_t capacity) {
    if (buffer == nullptr || capacity < kGwBodyOffset) {
        return false;
    }
    std::memset(buffer, 0, kGwBodyOffset);
    PutU16(buffer + 0, frame.header.head_mark);
    PutU32Le(buffer + 4, frame.header.message_class);
    PutU16Le(buffer + 8, frame.header.channel_id);
    PutU32(buffer + kGwStatusOffset, frame.header.status);
    PutU16(buffer + kGwTotalLengthOffset, frame.header.total_length);
    PutU16(buffer + 18, frame.header.tail_mark);
    PutU32(buffer + kGwOpcodeOffset, frame.command.opcode);
    PutU32(buffer + kGwResultCodeOffset, frame.command.result_code);
    PutU16(buffer + kGwDataLengthOffset, frame.command.data_length);
    PutU16Le(buffer + 34, frame.command.aux_word);
    return true;
}

bool ReadGwHeader(const uint8_t* buffer, size_t length, GwHeader* header) {
    if (buffer == nullptr || header == nullptr || length < kGwHeaderBytes) {
        return false;
    }
    header->head_mark = GetU16(buffer + 0);
    header->message_class = GetU32Le(buffer + 4);
    header->channel_id = GetU16Le(buffer + 8);
    header->status = GetU32(buffer + kGwStatusOffset);
    header->total_length = GetU16(buffer + kGwTotalLengthOffset);
    header->tail_mark = GetU16(buffer + 18);
    return true;
}

bool ReadGwFrame(const uint8_t* buffer, size_t length, GwFrame* frame) {
    if (frame == nullptr || length < kGwBodyOffset ||
        !ReadGwHeader(buffer, length, &frame->header)) {
        return false;
    }
    frame->command.opcode = GetU32(buffer + kGwOpcodeOffset);
    frame->command.result_code = GetU32(buffer + kGwResultCodeOffset);
    frame->command.data_length = GetU16(buffer + kGwDataLengthOffset);
    frame->command.aux_word = GetU16Le(buffer + 34);
    return true;
}

size_t GwMessageLength(const uint8_t* buffer, size_t length) {
    if (buffer == nullptr || length < kGwHeaderBytes) {
        return 0;
    }
    const size_t total = GetU16(buffer + kGwTotalLengthOffset);
    return total < kGwHeaderBytes || total > length ? 0 : total;
}

}  // namespace krogw
