// The queue of writes waiting for a free in-flight slot, oldest first, each with all
// of its element bytes. Every operation holds command_queue_lock only while it copies
// an entry.
#pragma once

#include <cstddef>

#include "driver/context.h"
#include "exchange/command_message.h"

namespace krogw {

// 2000 - cmd_buffer_length: queued and in-flight writes together stay within 2000.
size_t CommandQueueLimit(const DriverContext& context);

// Appends a write behind the newest, copying its single value and, for other counts,
// its element bytes. False when the queue is at its limit or the write is not valid
// (CommandElementBytes below 0, or an array without elements).
bool EnqueueCommand(DriverContext& context, const CommandWrite& write);

// Copies the oldest write out and removes it; false when the queue is empty.
bool DequeueCommand(DriverContext& context, CommandQueueEntry* oldest);

// The write a queue entry holds; it points into the entry for its elements.
CommandWrite CommandWriteFromEntry(const CommandQueueEntry& entry);

// Discards every queued write (switch-over, reconnect), under the queue's lock.
void ClearCommandQueue(DriverContext& context);

}  // namespace krogw
