#include "context/in_flight.h"

#include "context/counters.h"

namespace krogw {

bool TakePollSlot(DriverContext& context) {
    return IncrementBelow(context.polls_in_flight, context.poll_buffer_length);
}

bool TakeCommandSlot(DriverContext& context) {
    return IncrementBelow(context.commands_in_flight, context.cmd_buffer_length);
}

}  // namespace krogw
