// What the command thread takes from a message read on the sync channel, and the RTU
// state a reply leaves. Pure: reads only inside the received bytes and the message's
// own total_length.
#pragma once

#include <cstddef>
#include <cstdint>

#include "context/context.h"

namespace krogw {

struct CommandReply {
    uint32_t status;         // delivery status, from the header
    bool has_command_block;  // type and result_code below are read
    uint32_t type;           // opcode with bit 31 cleared
    uint32_t result_code;
    bool has_rtu;  // the message reaches the RTU number (offset 36)
    uint16_t rtu;
    bool has_table;  // ... and the table number (offset 38)
    uint8_t table;
};

// False when the received bytes hold no whole message; otherwise fills what lies
// inside it and leaves the rest 0/false.
bool ReadCommandReply(const uint8_t* message, size_t received, CommandReply* reply);

// The key of the request the reply answers: a 258 or 259 reply that names its RTU and
// table, or a 1028 reply that names its RTU. False for any other message.
bool ReplyKeyOf(const CommandReply& reply, SyncReplyKey* key);

// The gateway's code for an RTU that did not answer.
inline constexpr uint32_t kRtuFailedCode = 129;

enum class LateReplyLog : uint8_t {
    None,     // the RTU is disabled, or the reply does not name it
    Success,  // "... Success (As burst)" / state 0
    Failure,  // "... Fail to send ..." with the code
};

struct LateReplyOutcome {
    bool changes_state;
    uint8_t new_state;
    bool tells_host;  // QivSetPlcCommStatus(..., 1, 1)
    LateReplyLog log;
};

// A late 258 or 259 reply: nothing for a disabled RTU; code 0 makes it active, 129
// failed (the host is told when sign_rtu_on_fail is 1), other codes leave it.
LateReplyOutcome JudgeLateCommandReply(const CommandReply& reply, uint8_t current_state,
                                       uint8_t sign_rtu_on_fail);

// A late 1028 reply: code 0 makes the RTU active whatever its state, 129 failed, other
// codes leave it; the host is not told.
LateReplyOutcome JudgeLateSetTimeReply(const CommandReply& reply);

}  // namespace krogw
