#include "context/late_replies.h"

#include "context/counters.h"
#include "context/statistics_count.h"

namespace krogw {
namespace {

// The set-RTU-time opcode: a clock write, which holds no in-flight slot.
constexpr uint16_t kClockWriteType = 1028;

bool IsWrite(const SyncReplyKey& key) {
    return key.type != kClockWriteType;
}

template <typename Match>
int OldestWhere(const DriverContext& context, Match match) {
    for (int index = 0; index < context.late_reply_count; ++index) {
        if (match(context.late_replies[index])) {
            return index;
        }
    }
    return -1;
}

int OldestWith(const DriverContext& context, const SyncReplyKey& key) {
    return OldestWhere(context, [&](const SyncReplyKey& entry) { return entry == key; });
}

void RemoveAt(DriverContext& context, int index) {
    for (int next = index + 1; next < context.late_reply_count; ++next) {
        context.late_replies[next - 1] = context.late_replies[next];
    }
    --context.late_reply_count;
}

}  // namespace

void AwaitLateReply(DriverContext& context, const SyncReplyKey& key) {
    if (IsWrite(key)) {
        context.commands_awaiting_reply.fetch_add(1);
    }
    // Writes are at most cmd_buffer_length, fewer than the entries; clock writes, which
    // hold no slot, make room for them, the oldest first.
    if (context.late_reply_count == kLateReplyEntries) {
        const int oldest_clock =
            OldestWhere(context, [](const SyncReplyKey& entry) { return !IsWrite(entry); });
        if (oldest_clock < 0) {
            return;
        }
        RemoveAt(context, oldest_clock);
    }
    context.late_replies[context.late_reply_count++] = key;
}

bool IsLateReplyAwaited(const DriverContext& context, const SyncReplyKey& key) {
    return OldestWith(context, key) >= 0;
}

bool TakeLateReply(DriverContext& context, const SyncReplyKey& key) {
    const int index = OldestWith(context, key);
    if (index < 0) {
        return false;
    }
    RemoveAt(context, index);
    if (IsWrite(key) && DecrementNotBelowZero(context.commands_awaiting_reply)) {
        DecrementNotBelowZero(context.commands_in_flight);
    }
    return true;
}

void ForgetLateReplies(DriverContext& context) {
    for (int index = 0; index < context.late_reply_count; ++index) {
        const SyncReplyKey& forgotten = context.late_replies[index];
        if (IsWrite(forgotten)) {
            CountRtu(context, forgotten.rtu, StatWrLost);
        }
    }
    context.late_reply_count = 0;
    const uint16_t late = context.commands_awaiting_reply.exchange(0);
    for (uint16_t forgotten = 0; forgotten < late; ++forgotten) {
        DecrementNotBelowZero(context.commands_in_flight);
    }
}

}  // namespace krogw
