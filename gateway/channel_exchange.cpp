#include "gateway/channel_exchange.h"

#include "host/qivpro.h"

namespace krogw {
namespace {

// Beyond the send and reply time-outs of the exchange that holds the channel.
constexpr int32_t kTurnMarginMs = 500;

ByteFlag* StatusTurnOf(DriverContext& context, const SocketLease& lease) {
    switch (lease.cell()) {
        case kPrimaryStatusCell:
            return &context.status_channel_busy[0];
        case kSecondaryStatusCell:
            return &context.status_channel_busy[1];
        default:
            return nullptr;
    }
}

// An exchange sends and reads its reply, each within the reply time-out.
int32_t StatusTurnWaitMs(const DriverContext& context) {
    return 2 * context.sync_reply_timeout.load() + kTurnMarginMs;
}

}  // namespace

ChannelExchange::ChannelExchange(DriverContext& context, const SocketSlot& slot)
    : lease_(context, slot), turn_(StatusTurnOf(context, lease_), StatusTurnWaitMs(context)) {
    if (busy()) {
        err(kLogError, "KroGW : Status channel busy for %d ms, request not sent",
            static_cast<int>(StatusTurnWaitMs(context)));
    }
}

}  // namespace krogw
