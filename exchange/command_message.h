// The write messages: send data (258) and send command (259), set RTU time (1028) and
// SetCall (513), each built in a caller's buffer. Builders return the message's length,
// or 0 when the write is not valid or the buffer cannot hold the message.
#pragma once

#include <cstddef>
#include <cstdint>

#include "context/command_write.h"
#include "context/context.h"
#include "platform/platform.h"

namespace krogw {

inline constexpr size_t kWriteMessageHeadBytes =
    52;  // frame and the 16-byte body before the values
inline constexpr size_t kSetRtuTimeMessageBytes = 59;
inline constexpr size_t kSetCallMessageBytes = 59;

// 259 for a single value, 258 otherwise.
uint32_t CommandOpcode(const CommandWrite& write);

// The key of the reply that confirms the write, and of the reply to a clock write.
SyncReplyKey WriteReplyKey(const CommandWrite& write);
SyncReplyKey SetRtuTimeReplyKey(uint16_t rtu);

size_t BuildCommandMessage(const CommandWrite& write, uint16_t channel_id, uint8_t* buffer,
                           size_t capacity);

size_t BuildSetRtuTimeMessage(uint16_t rtu, const PlatformTime& local_time, uint16_t channel_id,
                              uint8_t* buffer, size_t capacity);

// The six stored parameters, in the order of the SETCALL gates.
struct SetCallParameters {
    int32_t rtu;
    int32_t qr;
    int32_t qd;
    int32_t qc;
    int32_t sr;
    int32_t sd;
};

size_t BuildSetCallMessage(const SetCallParameters& params, uint16_t channel_id, uint8_t* buffer,
                           size_t capacity);

}  // namespace krogw
