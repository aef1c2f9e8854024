#include "context/turn_queue.h"

#include "context/backoff.h"
#include "platform/platform.h"

namespace krogw {
namespace {

std::atomic<uint8_t>& GivenUpMark(TurnQueue& queue, uint32_t ticket) {
    return queue.given_up[ticket % kTurnQueueWaiters];
}

// A ticket, once fewer than kTurnQueueWaiters wait, so that no two waiters share a mark.
bool DrawTicket(TurnQueue& queue, int64_t deadline, uint32_t* ticket) {
    Backoff backoff;
    uint32_t next = queue.next_ticket.load();
    for (;;) {
        // Unsigned: right across the wrap of the counters.
        if (next - queue.serving.load() < kTurnQueueWaiters) {
            if (queue.next_ticket.compare_exchange_weak(next, next + 1)) {
                *ticket = next;
                return true;
            }
            continue;
        }
        if (PlatformMonotonicMs() >= deadline) {
            return false;
        }
        backoff.Pause();
        next = queue.next_ticket.load();
    }
}

// Serves the ticket after the holder's, passing over those given up. Only the holder
// moves `serving`, so no two threads do at once.
void PassOn(TurnQueue& queue) {
    uint32_t ticket = queue.serving.load();
    do {
        ++ticket;
        queue.serving.store(ticket);
        // A waiter marks its ticket and then looks at `serving`; here `serving` is
        // stored and then the mark is taken: one of the two sees the other, so a
        // ticket given up is either passed over here or taken back by its waiter.
    } while (GivenUpMark(queue, ticket).exchange(0) != 0);
}

// True when the turn came after all: the waiter holds it.
bool GiveUp(TurnQueue& queue, uint32_t ticket) {
    GivenUpMark(queue, ticket).store(1);
    return queue.serving.load() == ticket && GivenUpMark(queue, ticket).exchange(0) != 0;
}

}  // namespace

int32_t SyncTurnWaitMs(const DriverContext& context) {
    return 2 * (context.cmd_response_time + context.sync_reply_timeout.load());
}

QueuedTurn::QueuedTurn(TurnQueue& queue, int32_t wait_ms) {
    const int64_t deadline = PlatformMonotonicMs() + wait_ms;
    uint32_t ticket = 0;
    if (!DrawTicket(queue, deadline, &ticket)) {
        return;
    }
    Backoff backoff;
    while (queue.serving.load() != ticket) {
        if (PlatformMonotonicMs() >= deadline) {
            if (GiveUp(queue, ticket)) {
                break;
            }
            return;
        }
        backoff.Pause();
    }
    queue_ = &queue;
}

QueuedTurn::~QueuedTurn() {
    if (queue_ != nullptr) {
        PassOn(*queue_);
    }
}

}  // namespace krogw
