// The frame of every gateway message: a 20-byte header and a 16-byte command block,
// followed by the opcode's body. Pure functions over a caller's buffer and its length;
// nothing here touches a socket.
#pragma once

#include <cstddef>
#include <cstdint>

namespace krogw {

inline constexpr uint16_t kGatewayPort = 5001;

inline constexpr size_t kGwHeaderBytes = 20;
inline constexpr size_t kGwCommandBlockBytes = 16;
inline constexpr size_t kGwBodyOffset = kGwHeaderBytes + kGwCommandBlockBytes;  // 36

// Field offsets from the start of a message.
inline constexpr size_t kGwStatusOffset = 12;
inline constexpr size_t kGwTotalLengthOffset = 16;
inline constexpr size_t kGwOpcodeOffset = 20;
inline constexpr size_t kGwResultCodeOffset = 28;
inline constexpr size_t kGwDataLengthOffset = 32;

enum GwOpcode : uint32_t {
    kOpOpenChannel = 1,
    kOpCloseChannel = 7,
    kOpSetMode = 8,
    kOpGatewayStatus = 9,
    kOpRtuChannelStatus = 10,
    kOpPoll = 257,
    kOpSendData = 258,
    kOpSendCommand = 259,
    kOpPollRowList = 261,
    kOpSetCall = 513,
    kOpSetRtuTime = 1028,
    kOpBurstReport = 2049,
};

inline constexpr uint32_t kGwReplyBit = 0x80000000u;

// Delivery status of messages read by the burst and command threads.
inline constexpr uint32_t kGwStatusNormal = 1;
inline constexpr uint32_t kGwStatusQueueFull = 0x1000001;

struct GwHeader {
    uint16_t head_mark;
    uint32_t message_class;
    uint16_t channel_id;
    uint32_t status;
    uint16_t total_length;
    uint16_t tail_mark;
};

struct GwCommandBlock {
    uint32_t opcode;
    uint32_t result_code;
    uint16_t data_length;
    uint16_t aux_word;
};

struct GwFrame {
    GwHeader header;
    GwCommandBlock command;
};

// The type a receiver dispatches on: a reply and a request of one operation alike.
inline uint32_t GwMessageType(uint32_t opcode) {
    return opcode & ~kGwReplyBit;
}

// 0 open/close/set mode, 1 writes and clock, 2 status queries, 3 polls.
uint32_t GwMessageClass(uint32_t opcode);

// A request as the driver sends it: head and tail mark 1, status and result 0,
// the class of its opcode, total_length = 36 + data_length.
GwFrame GwRequestFrame(uint32_t opcode, uint16_t channel_id, uint16_t data_length);

// Writes header and command block into buffer[0..36); reserved bytes become 0 and
// total_length is taken from the frame. False when the buffer is too small.
bool WriteGwFrame(const GwFrame& frame, uint8_t* buffer, size_t capacity);

// Reads the header from a buffer of at least 20 bytes.
bool ReadGwHeader(const uint8_t* buffer, size_t length, GwHeader* header);
// Reads header and command block from a buffer of at least 36 bytes.
bool ReadGwFrame(const uint8_t* buffer, size_t length, GwFrame* frame);

// The length of the message at the start of a buffer holding `length` bytes: its
// total_length, or 0 when that is below a header or runs past the buffer.
size_t GwMessageLength(const uint8_t* buffer, size_t length);

// Network byte order, for bodies.
void PutU16(uint8_t* at, uint16_t value);
void PutU32(uint8_t* at, uint32_t value);
uint16_t GetU16(const uint8_t* at);
uint32_t GetU32(const uint8_t* at);

}  // namespace krogw
