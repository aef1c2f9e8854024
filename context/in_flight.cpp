#include "context/in_flight.h"

#include "context/counters.h"

namespace krogw {

bool TakePollSlot(DriverContext& context) {
    return IncrementBelow(context.polls_in_flight, context.poll_buffer_length);
}

bool TakeCommandSlot(DriverContext& context) {
    return IncrementBelow(context.commands_in_flight, context.cmd_buffer_length);
}

void KeepSlotForLateReply(DriverContext& context) {
    context.commands_awaiting_reply.fetch_add(1);
}

void ReleaseLateReplySlot(DriverContext& context) {
    if (DecrementNotBelowZero(context.commands_awaiting_reply)) {
        DecrementNotBelowZero(context.commands_in_flight);
    }
}

void ForgetLateReplies(DriverContext& context) {
    const uint16_t late = context.commands_awaiting_reply.exchange(0);
    for (uint16_t forgotten = 0; forgotten < late; ++forgotten) {
        DecrementNotBelowZero(context.commands_in_flight);
    }
}

}  // namespace krogw
