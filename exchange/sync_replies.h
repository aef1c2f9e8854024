// Replies read on the active sync channel: the wait of a write or set-time sender for
// its own reply, and the taking of replies that come after their sender stopped
// waiting, by the command thread or by a later sender that meets them first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "context/context.h"
#include "gateway/socket_io.h"
#include "platform/platform.h"

namespace krogw {

// Waits up to timeout_ms for the reply with the sender's key (its type, RTU and table)
// that no earlier request with the same key waits for. Every other reply to a write or
// a set-time message that comes first is taken as the command thread takes it, late,
// and the wait goes on; replies to other requests are discarded. A message that is no
// reply at all, or a reply of the sender's type too short to name its RTU and table, is
// handed to the caller to judge (Message). Ended: the channel ended before the reply
// came, so it will never come.
GwReadEnd AwaitSyncReply(PlatformSocket socket, uint8_t* buffer, size_t capacity,
                         DriverContext& context, const SyncReplyKey& own, int32_t timeout_ms);

// The command thread's handling of one message read on the sync channel: its delivery
// status, then its type (late 258, 259 and 1028 replies).
void TakeSyncMessage(const uint8_t* message, size_t received, DriverContext& context);

}  // namespace krogw
