// The handlers too small for a file of their own: codes 12, 13 and 15.
#include "context/context.h"
#include "driver/handlers.h"
#include "driver/reply_timeout.h"
#include "host/qivpro.h"
#include "include/krogw/abi.h"

namespace krogw {

int32_t Unsupported(HostRequest& /*request*/) {
    return kResultFailed;
}

int32_t SetReplyTimeout(HostRequest& request) {
    const auto& arguments = *static_cast<const ReplyTimeoutArguments*>(request.arguments);
    const int32_t units = arguments.reply_timeout_10ms;
    // A negative time-out would make every wait 0 ms; like other values out of
    // range, it is logged and the current one kept.
    if (units < 0) {
        err(kLogError, "KroGW : Illegal reply time out %d, kept %d ms", units,
            request.context->sync_reply_timeout.load());
        return kResultDone;
    }
    // Unlike start-up, no floor: the host may ask for very short waits.
    if (units != 0) {
        request.context->sync_reply_timeout = MillisecondsFrom10msUnits(units);
    }
    return kResultDone;
}

}  // namespace krogw
