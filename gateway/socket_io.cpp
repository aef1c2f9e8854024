#include "gateway/socket_io.h"

#include <algorithm>

#include "context/context.h"
#include "context/statistics_count.h"
#include "gateway/frame.h"
#include "gateway/socket_slot.h"
#include "host/qivpro.h"

namespace krogw {
namespace {

// A channel's socket as the message reader sees it.
struct SocketLink {
    PlatformSocket socket;

    int Receive(uint8_t* at, size_t count) const {
        return PlatformSocketRecv(socket, at, static_cast<int>(std::min<size_t>(count, INT32_MAX)));
    }
    int WaitReadable(int32_t ms) const { return PlatformSocketWaitReadable(socket, ms); }
    static int64_t NowMs() { return PlatformMonotonicMs(); }
};

enum class ReadKind { Reply, Unsolicited };

// A read that nothing came to is a quiet channel; anything else that is not a whole
// message was refused or left the channel out of step.
bool RefusedOrOutOfStep(const MessageRead& read) {
    const bool nothing_came =
        read.fault == ReadFault::HeaderShort && read.missing == kGwHeaderBytes && read.drained == 0;
    return read.arrived && !read.ended && !nothing_came &&
           (read.fault != ReadFault::None || read.drained > 0);
}

// Counts what the read brought on its channel.
void CountRead(const MessageRead& read, PlatformSocket socket, const DriverContext& context) {
    if (read.arrived && read.fault == ReadFault::None) {
        CountReceived(context, socket, read.total);
    }
    if (RefusedOrOutOfStep(read)) {
        CountBadMessage(context, socket);
    }
    if (read.ended) {
        CountChannelLost(context, socket);
    }
}

// Logs a failed read; true when the read holds a message.
bool Report(const MessageRead& read, ReadKind kind, size_t capacity) {
    const bool reply = kind == ReadKind::Reply;
    const int missing = static_cast<int>(read.missing);
    const int total = static_cast<int>(read.total);
    switch (read.fault) {
        case ReadFault::None:
            break;
        case ReadFault::HeaderShort:
            err(kLogTrace, reply ? "KroGW : Fail to recv normal header"
                                 : "KroGW : Fail to recv Unsol header ");
            break;
        case ReadFault::BadHeadMark:
            err(kLogTrace, "KroGW : Bad msg head mark, msg refused");
            break;
        case ReadFault::BadLength:
            err(kLogTrace, "KroGW : Bad msg length %d", total);
            break;
        case ReadFault::TooLong:
            err(kLogTrace, "KroGW : Msg of %d bytes refused, buffer holds %d", total,
                static_cast<int>(capacity));
            break;
        case ReadFault::BodyShort:
            err(kLogTrace,
                reply ? "KroGW : Fail to recv ALL msg,rc=%d,len=%d"
                      : "KroGW : Fail to recv all msg,rc=%d,len=%d",
                read.failed_result, missing);
            break;
    }
    if (read.drained > 0) {
        err(kLogTrace, "KroGW : Channel out of step, %d bytes discarded",
            static_cast<int>(read.drained));
    }
    return read.arrived && read.fault == ReadFault::None;
}

// A message that answers another request than the one waited for.
bool AnswersAnotherRequest(const uint8_t* message, size_t length, uint32_t expected_reply) {
    if (length < kGwOpcodeOffset + 4) {
        return false;
    }
    const uint32_t opcode = GetU32(message + kGwOpcodeOffset);
    return (opcode & kGwReplyBit) != 0 && opcode != expected_reply;
}

// Sends until the whole message is out, the deadline passes or the link breaks;
// returns the bytes sent.
size_t SendUntil(PlatformSocket socket, const uint8_t* message, size_t total, int64_t deadline_ms) {
    size_t sent = 0;
    while (sent < total) {
        const int result =
            PlatformSocketSend(socket, message + sent, static_cast<int>(total - sent));
        if (result > 0) {
            sent += static_cast<size_t>(result);
            continue;
        }
        const int64_t left = deadline_ms - PlatformMonotonicMs();
        if (result == kSocketError || left <= 0 ||
            PlatformSocketWaitWritable(socket, static_cast<int32_t>(left)) != 1) {
            break;
        }
    }
    return sent;
}

}  // namespace

bool GwSend(PlatformSocket socket, const uint8_t* message, size_t capacity,
            const DriverContext& context) {
    if (socket == 0) {
        return false;
    }
    const int64_t deadline = PlatformMonotonicMs() + context.sync_reply_timeout.load();
    const size_t total = GwMessageLength(message, capacity);
    const size_t sent = total == 0 ? 0 : SendUntil(socket, message, total, deadline);
    if (total != 0 && sent == total) {
        CountSent(context, socket, total);
        return true;
    }
    if (total != 0) {
        CountChannelLost(context, socket);
    }
    const uint32_t opcode =
        message != nullptr && capacity >= kGwBodyOffset ? GetU32(message + kGwOpcodeOffset) : 0;
    err(kLogTrace, "KroGW : Fail to send command %X", opcode);
    if (sent != 0) {
        // Ending the connection keeps the gateway from reading the next request as the
        // rest of this one; the handle stays in its slots until its owner closes it,
        // as for any broken channel, since a thread may hold a lease on it right now.
        err(kLogTrace, "KroGW : Channel shut down, %d of %d bytes sent", static_cast<int>(sent),
            static_cast<int>(total));
        PlatformSocketShutdown(socket);
    }
    return false;
}

GwReadEnd GwReadMessageBy(PlatformSocket socket, uint8_t* buffer, size_t capacity,
                          int64_t deadline_ms, const DriverContext& context) {
    if (socket == 0 || buffer == nullptr) {
        return GwReadEnd::NoMessage;
    }
    SocketLink link{socket};
    const MessageRead read = ReadGwMessage(link, buffer, capacity, deadline_ms, deadline_ms);
    CountRead(read, socket, context);
    if (!read.arrived) {
        CountTimeout(context, socket);
    }
    if (Report(read, ReadKind::Reply, capacity)) {
        return GwReadEnd::Message;
    }
    return read.ended ? GwReadEnd::Ended : GwReadEnd::NoMessage;
}

bool GwRecvMessageBy(PlatformSocket socket, uint8_t* buffer, size_t capacity, int64_t deadline_ms,
                     const DriverContext& context) {
    return GwReadMessageBy(socket, buffer, capacity, deadline_ms, context) == GwReadEnd::Message;
}

bool GwRecvReply(PlatformSocket socket, uint8_t* buffer, size_t capacity,
                 const DriverContext& context, uint32_t request_opcode) {
    const int64_t sent_ms = PlatformMonotonicMs();
    const int64_t deadline = sent_ms + context.sync_reply_timeout.load();
    const uint32_t expected = request_opcode | kGwReplyBit;
    for (;;) {
        if (!GwRecvMessageBy(socket, buffer, capacity, deadline, context)) {
            return false;
        }
        if (!AnswersAnotherRequest(buffer, GwMessageLength(buffer, capacity), expected)) {
            CountReplyTime(context, socket, PlatformMonotonicMs() - sent_ms);
            return true;
        }
        err(kLogTrace, "KroGW : Discard reply %X, waiting for %X", GetU32(buffer + kGwOpcodeOffset),
            expected);
    }
}

bool GwRecvUnsolicited(PlatformSocket socket, uint8_t* buffer, size_t capacity,
                       const DriverContext& context) {
    if (socket == 0 || buffer == nullptr) {
        return false;
    }
    SocketLink link{socket};
    const int64_t wait_until = PlatformMonotonicMs() + kUnsolicitedWaitMs;
    const MessageRead read =
        ReadGwMessage(link, buffer, capacity, wait_until, wait_until + kUnsolicitedMessageBoundMs);
    CountRead(read, socket, context);
    // A channel the gateway ended or reset reads as readable at once, on every pass,
    // until it is reopened: keep the thread loops at their pace instead of spinning.
    if (read.fault == ReadFault::HeaderShort && read.missing == kGwHeaderBytes) {
        const int64_t left = wait_until - PlatformMonotonicMs();
        if (left > 0) {
            PlatformSleepMs(static_cast<uint32_t>(left));
        }
    }
    return Report(read, ReadKind::Unsolicited, capacity);
}

void GwDiscardReadable(PlatformSocket socket, uint8_t* scratch, size_t capacity) {
    if (socket == 0 || scratch == nullptr || capacity == 0) {
        return;
    }
    SocketLink link{socket};
    const size_t discarded = DiscardReadable(link, scratch, capacity);
    if (discarded > 0) {
        err(kLogTrace, "KroGW : %d stale bytes discarded before the request",
            static_cast<int>(discarded));
    }
}

void GwFlush(PlatformSocket socket, uint8_t* scratch, size_t capacity) {
    if (socket == 0 || scratch == nullptr ||
        PlatformSocketWaitReadable(socket, kFlushWaitMs) != 1) {
        return;
    }
    PlatformSocketRecv(socket, scratch, static_cast<int>(std::min(capacity, kFlushBufferBytes)));
}

}  // namespace krogw
