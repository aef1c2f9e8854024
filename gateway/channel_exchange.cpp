#include "gateway/channel_exchange.h"

#include "host/qivpro.h"

namespace krogw {
namespace {

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

}  // namespace

ChannelExchange::ChannelExchange(DriverContext& context, const SocketSlot& slot)
    : lease_(context, slot), turn_(StatusTurnOf(context, lease_), ExchangeHoldMs(context)) {
    if (busy()) {
        err(kLogError, "KroGW : Status channel busy for %d ms, request not sent",
            static_cast<int>(ExchangeHoldMs(context)));
    }
}

}  // namespace krogw
