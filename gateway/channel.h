// Opening one TCP channel to a gateway and announcing it, and closing a gateway's
// three channels.
#pragma once

#include <atomic>
#include <cstdint>

#include "context/context.h"

namespace krogw {

// How long a connection to the gateway is given before it is checked.
inline constexpr uint32_t kConnectSettleMs = 200;

// Connects a new socket to the gateway at address_text:5001 and announces it with
// the channel type (0 status or sync, 7 burst). On success the socket is in
// socket_slot and the gateway's channel id in channel_id_slot. The socket enters the
// slot only once announced, so that no other exchange reaches the gateway on it
// before the open-channel request; on any failure it is closed and the slot left as
// it was. Every call connects, also right after a failed one.
bool OpenChannel(uint8_t channel_type, SocketSlot& socket_slot, const char* address_text,
                 std::atomic<uint16_t>& channel_id_slot, DriverContext& context);

// Asks the gateway, on the set's sync socket in the sync channel's turn (command_busy),
// to close the set's channel id, then closes the three sockets. False, with the sockets
// left open, when the request could not be sent or the gateway refused it; true when
// the sockets were closed.
bool CloseChannel(SocketSet& sockets, DriverContext& context);

}  // namespace krogw
