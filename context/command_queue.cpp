#include "context/command_queue.h"

#include <cstring>

#include "context/fixed_ring.h"
#include "context/flag_lock.h"

namespace krogw {

size_t CommandQueueLimit(const DriverContext& context) {
    return QueueLimit(kCommandQueueEntries, context.cmd_buffer_length);
}

bool EnqueueCommand(DriverContext& context, const CommandWrite& write) {
    if (!IsValidCommandWrite(write)) {
        return false;
    }
    // A single value travels in single_value; an array's elements are copied whole.
    const auto element_bytes = static_cast<size_t>(
        write.element_count == 1 ? 0 : CommandElementBytes(write.bit_width, write.element_count));
    const size_t limit = CommandQueueLimit(context);
    FlagLock lock(context.command_queue_lock);
    return RingAppend(context.command_queue, context.command_queue_head,
                      context.command_queue_count, limit, [&](CommandQueueEntry& slot) {
                          slot.rtu = write.rtu;
                          slot.subaddress = write.subaddress;
                          slot.bit_width = write.bit_width;
                          slot.single_value = static_cast<int32_t>(write.single_value);
                          slot.element_count = static_cast<uint8_t>(write.element_count);
                          if (element_bytes > 0) {
                              std::memcpy(slot.elements, write.elements, element_bytes);
                          }
                      });
}

bool CopyOldestCommand(DriverContext& context, CommandQueueEntry* oldest) {
    FlagLock lock(context.command_queue_lock);
    return RingCopyOldest(context.command_queue, context.command_queue_head,
                          context.command_queue_count, oldest);
}

void DropOldestCommand(DriverContext& context) {
    FlagLock lock(context.command_queue_lock);
    RingDropOldest(context.command_queue, context.command_queue_head, context.command_queue_count);
}

CommandWrite CommandWriteFromEntry(const CommandQueueEntry& entry) {
    return {entry.rtu,
            entry.subaddress,
            entry.bit_width,
            entry.element_count,
            static_cast<uint32_t>(entry.single_value),
            entry.elements};
}

}  // namespace krogw
