#include "gateway/active_set.h"

#include "context/in_flight.h"
#include "context/poll_queue.h"
#include "host/qivpro.h"

namespace krogw {

const SocketSlot& ActiveSlot(const DriverContext& context, ActiveChannel channel) {
    switch (channel) {
        case ActiveChannel::Status:
            return context.active_status_socket;
        case ActiveChannel::Sync:
            return context.active_sync_socket;
        case ActiveChannel::Burst:
            break;
    }
    return context.active_burst_socket;
}

GatewaySlots SlotsOf(DriverContext& context, uint8_t gateway) {
    if (gateway == kPrimaryGateway) {
        return {context.primary_status_socket, context.primary_sync_socket,
                context.primary_burst_socket, context.primary_channel_id};
    }
    return {context.secondary_status_socket, context.secondary_sync_socket,
            context.secondary_burst_socket, context.secondary_channel_id};
}

void MakeActive(DriverContext& context, uint8_t gateway) {
    const GatewaySlots slots = SlotsOf(context, gateway);
    CopySocketSlot(context, context.active_status_socket, slots.status);
    CopySocketSlot(context, context.active_sync_socket, slots.sync);
    CopySocketSlot(context, context.active_burst_socket, slots.burst);
    context.active_channel_id.store(slots.channel_id.load());
}

void ShutDownActiveSockets(DriverContext& context) {
    for (const ActiveChannel channel :
         {ActiveChannel::Status, ActiveChannel::Sync, ActiveChannel::Burst}) {
        const SocketLease lease(context, ActiveSlot(context, channel));
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
