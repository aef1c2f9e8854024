#include "gateway/active_set.h"

#include "context/late_replies.h"
#include "context/poll_queue.h"
#include "host/qivpro.h"

namespace krogw {

const SocketSlot& ActiveSlot(const DriverContext& context, ActiveChannel channel) {
    switch (channel) {
        case ActiveChannel::Status:
            return context.active_sockets.status;
        case ActiveChannel::Sync:
            return context.active_sockets.sync;
        case ActiveChannel::Burst:
            break;
    }
    return context.active_sockets.burst;
}

SocketSet& SocketsOf(DriverContext& context, uint8_t gateway) {
    return gateway == kPrimaryGateway ? context.primary_sockets : context.secondary_sockets;
}

void MakeActive(DriverContext& context, uint8_t gateway) {
    SocketSet& source = SocketsOf(context, gateway);
    const auto copies = context.active_sockets.Slots();
    const auto slots = source.Slots();
    for (size_t index = 0; index < slots.size(); ++index) {
        CopySocketSlot(context, *copies[index], *slots[index]);
    }
    context.active_sockets.channel_id.store(source.channel_id.load());
}

void ShutDownActiveSockets(DriverContext& context) {
    for (const SocketSlot* slot : context.active_sockets.Slots()) {
        const SocketLease lease(context, *slot);
        if (lease.socket() != 0) {
            PlatformSocketShutdown(lease.socket());
        }
    }
}

void ForgetOldGatewayFlow(DriverContext& context) {
    context.polls_in_flight.store(0);
    // Emptied under its lock, so that an append half done on another thread never
    // leaves a stale entry counted.
    const uint16_t dropped = ClearPollQueue(context);
    if (dropped != 0) {
        err(kLogError, "KroGW : %d queued polls dropped by the gateway change",
            static_cast<int>(dropped));
    }
    ForgetLateReplies(context);
}

}  // namespace krogw
