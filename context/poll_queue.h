// The queue of polls waiting for a free in-flight slot, oldest first. Every operation
// holds poll_queue_lock only while it copies an entry.
#pragma once

#include <cstddef>

#include "context/context.h"

namespace krogw {

// 10000 - poll_buffer_length: queued and in-flight polls together stay within 10000.
size_t PollQueueLimit(const DriverContext& context);

// Appends a poll behind the newest; false when the queue is at its limit (the poll is
// dropped and the caller reports the queue full).
bool EnqueuePoll(DriverContext& context, const PollQueueEntry& poll);

// Copies the oldest poll out and removes it; false when the queue is empty.
bool DequeuePoll(DriverContext& context, PollQueueEntry* oldest);

// Discards every queued poll and returns how many there were. Switch-over and
// reconnect empty the queue through this, never by storing poll_queue_count, so that
// no append in progress lands outside it.
uint16_t ClearPollQueue(DriverContext& context);

}  // namespace krogw
