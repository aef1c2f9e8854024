#include "context/poll_queue.h"

#include "context/fixed_ring.h"
#include "context/flag_lock.h"

namespace krogw {

size_t PollQueueLimit(const DriverContext& context) {
    return QueueLimit(kPollQueueEntries, context.poll_buffer_length);
}

bool EnqueuePoll(DriverContext& context, const PollQueueEntry& poll) {
    const size_t limit = PollQueueLimit(context);
    FlagLock lock(context.poll_queue_lock);
    return RingAppend(context.poll_queue, context.poll_queue_head, context.poll_queue_count, limit,
                      [&poll](PollQueueEntry& slot) { slot = poll; });
}

bool DequeuePoll(DriverContext& context, PollQueueEntry* oldest) {
    FlagLock lock(context.poll_queue_lock);
    return RingTakeOldest(context.poll_queue, context.poll_queue_head, context.poll_queue_count,
                          oldest);
}

uint16_t ClearPollQueue(DriverContext& context) {
    FlagLock lock(context.poll_queue_lock);
    return context.poll_queue_count.exchange(0);
}

}  // namespace krogw
