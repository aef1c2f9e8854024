// The handlers too small for a file of their own: codes 12, 13 and 15.
#include "driver/context.h"
#include "driver/handlers.h"
#include "driver/reply_timeout.h"

namespace krogw {

int32_t Unsupported(HostRequest& /*request*/) {
    return kResultFailed;
}

int32_t SetReplyTimeout(HostRequest& request) {
    const auto& arguments = *static_cast<const ReplyTimeoutArguments*>(request.arguments);
    // Unlike start-up, no floor: the host may ask for very short waits.
    if (arguments.reply_timeout_10ms != 0) {
        request.context->sync_reply_timeout =
            MillisecondsFrom10msUnits(arguments.reply_timeout_10ms);
    }
    return kResultDone;
}

}  // namespace krogw
