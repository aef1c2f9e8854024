#include "exchange/command_message.h"

#include <cstring>

#include "gateway/frame.h"

namespace krogw {
namespace {

constexpr uint16_t kWriteBodyBytes = kWriteMessageHeadBytes - kGwBodyOffset;
// Set time and SetCall share one body size: the RTU, 14 reserved bytes, 7 data bytes.
constexpr uint16_t kSetMessageBodyBytes = kSetRtuTimeMessageBytes - kGwBodyOffset;
constexpr size_t kSetMessageDataOffset = 52;  // after the RTU number and 14 reserved bytes

// The value word: the upper half of the raw word, where the host keeps 16-bit values.
uint16_t ValueWord(uint32_t raw_word) {
    return static_cast<uint16_t>(raw_word >> 16);
}

uint16_t GetU16Le(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

uint32_t GetU32Le(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

// Bytes of values on the wire: 8-bit elements travel as bits.
size_t WireValueBytes(int32_t bit_width, int32_t element_count) {
    const auto count = static_cast<size_t>(element_count);
    return bit_width == 8 ? (count + 7) / 8 : count * static_cast<size_t>(bit_width / 8);
}

void PutSingleValue(const CommandWrite& write, uint8_t* values) {
    switch (write.bit_width) {
        case 8:
            values[0] = ValueWord(write.single_value) != 0 ? 0x80 : 0x00;
            break;
        case 16:
            PutU16(values, ValueWord(write.single_value));
            break;
        default:
            PutU32(values, write.single_value);
            break;
    }
}

// The first element in bit 7 of the first byte, then downwards; values is zeroed.
void PutArrayValues(const CommandWrite& write, uint8_t* values) {
    const auto count = static_cast<size_t>(write.element_count);
    for (size_t i = 0; i < count; ++i) {
        switch (write.bit_width) {
            case 8:
                if (write.elements[i] != 0) {
                    values[i / 8] |= static_cast<uint8_t>(0x80u >> (i % 8));
                }
                break;
            case 16:
                PutU16(values + 2 * i, GetU16Le(write.elements + 2 * i));
                break;
            default:
                PutU32(values + 4 * i, GetU32Le(write.elements + 4 * i));
                break;
        }
    }
}

// Frame and zeroed body of a message with data_length body bytes; false when the
// buffer cannot hold it.
bool StartMessage(uint32_t opcode, uint16_t channel_id, size_t data_length, uint8_t* buffer,
                  size_t capacity) {
    if (buffer == nullptr || capacity < kGwBodyOffset + data_length) {
        return false;
    }
    WriteGwFrame(GwRequestFrame(opcode, channel_id, static_cast<uint16_t>(data_length)), buffer,
                 capacity);
    std::memset(buffer + kGwBodyOffset, 0, data_length);
    return true;
}

}  // namespace

uint32_t CommandOpcode(const CommandWrite& write) {
    return write.element_count == 1 ? kOpSendCommand : kOpSendData;
}

SyncReplyKey WriteReplyKey(const CommandWrite& write) {
    return {static_cast<uint16_t>(CommandOpcode(write)), static_cast<uint16_t>(write.rtu),
            CommandTable(write)};
}

SyncReplyKey SetRtuTimeReplyKey(uint16_t rtu) {
    return {static_cast<uint16_t>(kOpSetRtuTime), rtu, 0};
}

size_t BuildCommandMessage(const CommandWrite& write, uint16_t channel_id, uint8_t* buffer,
                           size_t capacity) {
    if (!IsValidCommandWrite(write)) {
        return 0;
    }
    const size_t value_bytes = WireValueBytes(write.bit_width, write.element_count);
    const uint32_t opcode = CommandOpcode(write);
    if (!StartMessage(opcode, channel_id, kWriteBodyBytes + value_bytes, buffer, capacity)) {
        return 0;
    }
    const auto subaddress = static_cast<uint32_t>(write.subaddress);
    uint8_t* body = buffer + kGwBodyOffset;
    PutU16(body, static_cast<uint16_t>(write.rtu));
    body[2] = CommandTable(write);
    body[3] = static_cast<uint8_t>(subaddress);              // first row
    body[4] = static_cast<uint8_t>(write.element_count);     // rows
    body[5] = static_cast<uint8_t>(subaddress >> 8 & 0x0F);  // column
    body[6] = 1;                                             // columns
    uint8_t* values = body + kWriteBodyBytes;
    if (write.element_count == 1) {
        PutSingleValue(write, values);
    } else {
        PutArrayValues(write, values);
    }
    return kWriteMessageHeadBytes + value_bytes;
}

size_t BuildSetRtuTimeMessage(uint16_t rtu, const PlatformTime& local_time, uint16_t channel_id,
                              uint8_t* buffer, size_t capacity) {
    if (!StartMessage(kOpSetRtuTime, channel_id, kSetMessageBodyBytes, buffer, capacity)) {
        return 0;
    }
    PutU16(buffer + kGwBodyOffset, rtu);
    uint8_t* data = buffer + kSetMessageDataOffset;
    data[0] = static_cast<uint8_t>(local_time.year - 1980);
    data[1] = static_cast<uint8_t>(local_time.month);
    data[2] = static_cast<uint8_t>(local_time.day);
    data[3] = static_cast<uint8_t>(local_time.day_of_week + 1);
    data[4] = static_cast<uint8_t>(local_time.hour);
    data[5] = static_cast<uint8_t>(local_time.minute);
    data[6] = static_cast<uint8_t>(local_time.second);
    return kSetRtuTimeMessageBytes;
}

size_t BuildSetCallMessage(const SetCallParameters& params, uint16_t channel_id, uint8_t* buffer,
                           size_t capacity) {
    if (!StartMessage(kOpSetCall, channel_id, kSetMessageBodyBytes, buffer, capacity)) {
        return 0;
    }
    PutU16(buffer + kGwBodyOffset, static_cast<uint16_t>(params.rtu));
    uint8_t* data = buffer + kSetMessageDataOffset;
    data[0] = static_cast<uint8_t>(params.qr);
    PutU16(data + 1, static_cast<uint16_t>(params.qd));
    data[3] = static_cast<uint8_t>(params.qc);
    data[4] = static_cast<uint8_t>(params.sr);
    PutU16(data + 5, static_cast<uint16_t>(params.sd));
    return kSetCallMessageBytes;
}

}  // namespace krogw
