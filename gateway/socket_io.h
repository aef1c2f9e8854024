// Moving whole gateway messages over one channel's socket. The sockets are
// non-blocking; these functions keep no state and never open or close a socket.
// A handle of 0 is a channel that is not open: every function refuses it silently.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace krogw {

struct DriverContext;

// How long a thread loop waits for an unsolicited message.
inline constexpr int32_t kUnsolicitedWaitMs = 50;
// Once a message has begun, how long each further piece of it may keep us waiting.
inline constexpr int32_t kPieceWaitMs = 50;
inline constexpr int32_t kFlushWaitMs = 1;
inline constexpr size_t kFlushBufferBytes = 8256;

// Sends the message at the start of `message` (total_length bytes, read from its
// header). A send the socket takes only in part is completed within the context's
// reply time-out. False on handle 0 (silently) or when the message does not go out.
bool GwSend(PlatformSocket socket, const uint8_t* message, size_t capacity,
            const DriverContext& context);

// Waits up to the context's sync_reply_timeout for one whole message and reads it
// into the buffer. A message longer than the buffer is read off the socket and
// refused, so that the next read starts at the next message.
bool GwRecvReply(PlatformSocket socket, uint8_t* buffer, size_t capacity,
                 const DriverContext& context);

// The same with a wait of kUnsolicitedWaitMs, for the thread loops.
bool GwRecvUnsolicited(PlatformSocket socket, uint8_t* buffer, size_t capacity);

// Discards what is readable within kFlushWaitMs, with one receive.
void GwFlush(PlatformSocket socket);

}  // namespace krogw
