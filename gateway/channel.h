// Opening one TCP channel to a gateway and announcing it, and closing a gateway's
// three channels.
#pragma once

#include <atomic>
#include <cstdint>

#include "driver/context.h"

namespace krogw {

// How long a connection to the gateway is given before it is checked.
inline constexpr uint32_t kConnectSettleMs = 200;

// Marks a gateway's pending slot after a failed connection: the socket is already
// closed, the slot only records that the next attempt for the gateway is held off.
inline constexpr int32_t kConnectionHeldOff = -1;

// Connects a new socket to the gateway at address_text:5001 and announces it with
// the channel type (0 status or sync, 7 burst). On success the socket is in
// socket_slot and the gateway's channel id in channel_id_slot. After a failed
// connection the gateway's next call returns false at once, without connecting; the
// call after that connects normally. connecting_secondary selects which gateway's
// hold-off applies. Once connected, the socket stays in socket_slot even when the
// announcement fails: closing it is the caller's decision.
bool OpenChannel(uint8_t channel_type, SocketSlot& socket_slot, const char* address_text,
                 std::atomic<uint16_t>& channel_id_slot, DriverContext& context);

// Asks the gateway, on the sync socket, to close the channel id, then closes the
// three sockets. False, with the sockets left open, when the request could not be
// sent or the gateway refused it; true when the sockets were closed.
bool CloseChannel(uint16_t channel_id, SocketSlot& status_slot, SocketSlot& sync_slot,
                  SocketSlot& burst_slot, DriverContext& context);

}  // namespace krogw
