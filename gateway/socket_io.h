// Moving whole gateway messages over one channel's socket, counted in the statistics
// of the gateway whose channel it is. The sockets are
// non-blocking. A handle of 0 is a channel that is not open: every function refuses
// it silently.
//
// A channel is only trusted at a message boundary:
// - every read has one deadline for the whole message (the reply time-out for a
//   reply, kUnsolicitedMessageBoundMs for an unsolicited message), and within it
//   each further piece must come within kPieceWaitMs of the one before;
// - a read that fails inside a message takes the rest of that message off the
//   socket by the same deadline; when the rest does not come, or the header is not
//   a sound one (head_mark 1, total_length at least a header), the channel is
//   drained of what it holds, and the next read refuses whatever half message
//   comes after, until a sound header starts a message again;
// - a send that put part of a message on the wire cannot be taken back: the
//   connection is shut down, so that the gateway never reads the next request as
//   the rest of this one, and every later exchange on it fails at once until the
//   owner closes the channel and reopens it (reconnect or switch-over).
#pragma once

#include <cstddef>
#include <cstdint>

#include "gateway/message_reader.h"
#include "platform/platform.h"

namespace krogw {

struct DriverContext;

// How long a thread loop waits for an unsolicited message to begin.
inline constexpr int32_t kUnsolicitedWaitMs = 50;
// How long an unsolicited message, or discarding one, may take once it has begun.
inline constexpr int32_t kUnsolicitedMessageBoundMs = 1000;
inline constexpr int32_t kFlushWaitMs = 1;
inline constexpr size_t kFlushBufferBytes = 8256;

// Sends the message at the start of `message` (total_length bytes, read from its
// header), completing a partial send within the context's reply time-out. False on
// handle 0 (silently) or when the message does not go out whole; a channel left
// with part of the message sent is shut down.
bool GwSend(PlatformSocket socket, const uint8_t* message, size_t capacity,
            const DriverContext& context);

// Reads the reply to the request with request_opcode into the buffer, waiting up to
// the context's sync_reply_timeout for all of it. A reply to another request (bit 31
// with another opcode) is discarded with a trace line, and the wait goes on within
// the same time-out; any other message is handed to the caller to judge. A message
// longer than the buffer is read off the socket and refused.
bool GwRecvReply(PlatformSocket socket, uint8_t* buffer, size_t capacity,
                 const DriverContext& context, uint32_t request_opcode);

// Reads one whole message, all of it by deadline_ms (PlatformMonotonicMs), whatever it
// answers: for an exchange that waits with a time-out of its own and matches its
// replies itself. A message longer than the buffer is read off the socket and refused.
bool GwRecvMessageBy(PlatformSocket socket, uint8_t* buffer, size_t capacity, int64_t deadline_ms,
                     const DriverContext& context);

enum class GwReadEnd : uint8_t {
    Message,    // the buffer holds one whole message
    NoMessage,  // none in time, or one refused; the channel may still bring the next
    Ended,      // the gateway closed or reset the channel, or it was shut down: nothing
                // more will come on it
};

// GwRecvMessageBy that tells a channel that ended from one that was only silent.
GwReadEnd GwReadMessageBy(PlatformSocket socket, uint8_t* buffer, size_t capacity,
                          int64_t deadline_ms, const DriverContext& context);

// Reads one message that begins within kUnsolicitedWaitMs, for the thread loops.
bool GwRecvUnsolicited(PlatformSocket socket, uint8_t* buffer, size_t capacity,
                       const DriverContext& context);

// Discards whatever the channel holds already, without waiting, through the
// scratch buffer. On a channel that only the sender reads, whatever is there before
// a request is a late answer to an earlier one.
void GwDiscardReadable(PlatformSocket socket, uint8_t* scratch, size_t capacity);

// Discards what is readable within kFlushWaitMs, with one receive of up to
// kFlushBufferBytes into the scratch buffer.
void GwFlush(PlatformSocket socket, uint8_t* scratch, size_t capacity);

}  // namespace krogw
