#include "gateway/socket_io.h"

#include <algorithm>

#include "driver/context.h"
#include "gateway/frame.h"
#include "host/qivpro.h"

namespace krogw {
namespace {

enum class ReadKind { Reply, Unsolicited };

// The outcome of receiving a given number of bytes.
struct Received {
    int failed_result;  // the failing receive's result: 0 peer closed, -1 nothing in time
    size_t missing;     // bytes not received; 0 when all arrived
};

// One receive of up to `count` bytes. When nothing is there yet it waits for the
// socket until the deadline and tries again.
int ReceivePiece(PlatformSocket socket, uint8_t* at, size_t count, int64_t deadline_ms) {
    int result = PlatformSocketRecv(socket, at, static_cast<int>(count));
    while (result < 0) {
        const int64_t left = deadline_ms - PlatformMonotonicMs();
        if (left <= 0 || PlatformSocketWaitReadable(socket, static_cast<int32_t>(left)) < 0) {
            break;
        }
        result = PlatformSocketRecv(socket, at, static_cast<int>(count));
    }
    return result;
}

// TCP may hand a message over in pieces; each further piece is waited for up to
// kPieceWaitMs after the one before.
Received ReceiveExactly(PlatformSocket socket, uint8_t* at, size_t count) {
    size_t done = 0;
    while (done < count) {
        const int64_t deadline = PlatformMonotonicMs() + kPieceWaitMs;
        const int result = ReceivePiece(socket, at + done, count - done, deadline);
        if (result <= 0) {
            return {result, count - done};
        }
        done += static_cast<size_t>(result);
    }
    return {0, 0};
}

// Reads `count` bytes off the socket through the scratch buffer.
void Discard(PlatformSocket socket, uint8_t* scratch, size_t scratch_bytes, size_t count) {
    while (count > 0) {
        const size_t piece = std::min(count, scratch_bytes);
        if (ReceiveExactly(socket, scratch, piece).missing != 0) {
            return;
        }
        count -= piece;
    }
}

void LogHeaderFailure(ReadKind kind) {
    if (kind == ReadKind::Reply) {
        err(kLogTrace, "KroGW : Fail to recv normal header");
    } else {
        err(kLogTrace, "KroGW : Fail to recv Unsol header ");
    }
}

void LogBodyFailure(ReadKind kind, const Received& body) {
    const int missing = static_cast<int>(body.missing);
    if (kind == ReadKind::Reply) {
        err(kLogTrace, "KroGW : Fail to recv ALL msg,rc=%d,len=%d", body.failed_result, missing);
    } else {
        err(kLogTrace, "KroGW : Fail to recv all msg,rc=%d,len=%d", body.failed_result, missing);
    }
}

bool ReceiveMessage(PlatformSocket socket, uint8_t* buffer, size_t capacity, int32_t wait_ms,
                    ReadKind kind) {
    if (socket == 0 || buffer == nullptr || capacity < kGwHeaderBytes) {
        return false;
    }
    if (PlatformSocketWaitReadable(socket, wait_ms) != 1) {
        return false;
    }
    if (ReceiveExactly(socket, buffer, kGwHeaderBytes).missing != 0) {
        LogHeaderFailure(kind);
        return false;
    }
    const size_t total = GetU16(buffer + kGwTotalLengthOffset);
    if (total < kGwHeaderBytes) {
        err(kLogTrace, "KroGW : Bad msg length %d", static_cast<int>(total));
        return false;
    }
    if (total > capacity) {
        err(kLogTrace, "KroGW : Msg of %d bytes refused, buffer holds %d", static_cast<int>(total),
            static_cast<int>(capacity));
        Discard(socket, buffer, capacity, total - kGwHeaderBytes);
        return false;
    }
    const Received body = ReceiveExactly(socket, buffer + kGwHeaderBytes, total - kGwHeaderBytes);
    if (body.missing != 0) {
        LogBodyFailure(kind, body);
        return false;
    }
    return true;
}

// Sends the rest of a message the socket took only in part, until the deadline.
bool CompleteSend(PlatformSocket socket, const uint8_t* message, size_t total, size_t sent,
                  int64_t deadline_ms) {
    while (sent < total) {
        const int64_t left = deadline_ms - PlatformMonotonicMs();
        if (left <= 0 || PlatformSocketWaitWritable(socket, static_cast<int32_t>(left)) != 1) {
            return false;
        }
        const int result =
            PlatformSocketSend(socket, message + sent, static_cast<int>(total - sent));
        if (result < 0) {
            return false;
        }
        sent += static_cast<size_t>(result);
    }
    return true;
}

}  // namespace

bool GwSend(PlatformSocket socket, const uint8_t* message, size_t capacity,
            const DriverContext& context) {
    if (socket == 0) {
        return false;
    }
    const int64_t deadline = PlatformMonotonicMs() + context.sync_reply_timeout.load();
    const size_t total = GwMessageLength(message, capacity);
    bool sent_whole = false;
    if (total != 0) {
        const int result = PlatformSocketSend(socket, message, static_cast<int>(total));
        sent_whole = result >= 0 &&
                     CompleteSend(socket, message, total, static_cast<size_t>(result), deadline);
    }
    if (!sent_whole) {
        const uint32_t opcode =
            message != nullptr && capacity >= kGwBodyOffset ? GetU32(message + kGwOpcodeOffset) : 0;
        err(kLogTrace, "KroGW : Fail to send command %X", opcode);
    }
    return sent_whole;
}

bool GwRecvReply(PlatformSocket socket, uint8_t* buffer, size_t capacity,
                 const DriverContext& context) {
    return ReceiveMessage(socket, buffer, capacity, context.sync_reply_timeout.load(),
                          ReadKind::Reply);
}

bool GwRecvUnsolicited(PlatformSocket socket, uint8_t* buffer, size_t capacity) {
    return ReceiveMessage(socket, buffer, capacity, kUnsolicitedWaitMs, ReadKind::Unsolicited);
}

void GwFlush(PlatformSocket socket) {
    if (socket == 0 || PlatformSocketWaitReadable(socket, kFlushWaitMs) != 1) {
        return;
    }
    uint8_t discarded[kFlushBufferBytes];
    PlatformSocketRecv(socket, discarded, sizeof discarded);
}

}  // namespace krogw
