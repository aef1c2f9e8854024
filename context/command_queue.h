// The queue of writes waiting for a free in-flight slot, oldest first, each with all
// of its element bytes. Every operation holds command_queue_lock only while it copies
// an entry.
#pragma once

#include <cstddef>

#include "context/command_write.h"
#include "context/context.h"

namespace krogw {

// 2000 - cmd_buffer_length: queued and in-flight writes together stay within 2000.
size_t CommandQueueLimit(const DriverContext& context);

// Appends a write behind the newest, copying its single value and, for other counts,
// its element bytes. False when the queue is at its limit or the write is not valid
// (CommandElementBytes below 0, or an array without elements).
bool EnqueueCommand(DriverContext& context, const CommandWrite& write);

// Copies the oldest write out, leaving it at the head of the queue, so that writes
// made later stay behind it until it is sent; false when the queue is empty.
bool CopyOldestCommand(DriverContext& context, CommandQueueEntry* oldest);

// Removes the oldest write once it has been sent (or given up with a log line).
void DropOldestCommand(DriverContext& context);

// The write a queue entry holds; it points into the entry for its elements.
CommandWrite CommandWriteFromEntry(const CommandQueueEntry& entry);

}  // namespace krogw
