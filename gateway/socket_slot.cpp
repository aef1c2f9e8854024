#include "gateway/socket_slot.h"

#include "platform/platform.h"

namespace krogw {

void CloseSocketSlot(DriverContext& context, SocketSlot& slot) {
    const PlatformSocket socket = slot.exchange(0);
    if (socket == 0) {
        return;
    }
    SocketSlot* const channel_slots[] = {
        &context.active_status_socket,    &context.active_sync_socket,
        &context.active_burst_socket,     &context.primary_status_socket,
        &context.primary_sync_socket,     &context.primary_burst_socket,
        &context.secondary_status_socket, &context.secondary_sync_socket,
        &context.secondary_burst_socket,
    };
    for (SocketSlot* other : channel_slots) {
        int32_t expected = socket;
        other->compare_exchange_strong(expected, 0);
    }
    PlatformSocketShutdown(socket);
    PlatformSocketClose(socket);
}

}  // namespace krogw
