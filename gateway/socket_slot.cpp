#include "gateway/socket_slot.h"

namespace krogw {
namespace {

// Clears every channel slot that holds the handle; true when this call cleared one.
bool ClearSlotsHolding(DriverContext& context, PlatformSocket socket) {
    SocketSlot* const channel_slots[] = {
        &context.active_status_socket,    &context.active_sync_socket,
        &context.active_burst_socket,     &context.primary_status_socket,
        &context.primary_sync_socket,     &context.primary_burst_socket,
        &context.secondary_status_socket, &context.secondary_sync_socket,
        &context.secondary_burst_socket,
    };
    bool cleared = false;
    for (SocketSlot* slot : channel_slots) {
        int32_t expected = socket;
        cleared = slot->compare_exchange_strong(expected, 0) || cleared;
    }
    return cleared;
}

void ShutAndClose(PlatformSocket socket) {
    PlatformSocketShutdown(socket);
    PlatformSocketClose(socket);
}

}  // namespace

void CloseSocketSlot(DriverContext& context, SocketSlot& slot) {
    const PlatformSocket socket = slot.exchange(0);
    if (socket == 0) {
        return;
    }
    ClearSlotsHolding(context, socket);
    ShutAndClose(socket);
}

void CloseChannelSocket(DriverContext& context, PlatformSocket socket) {
    if (socket != 0 && ClearSlotsHolding(context, socket)) {
        ShutAndClose(socket);
    }
}

}  // namespace krogw
