// The active set: active_sockets, a copy of the active gateway's slots and channel id,
// which every sender and both threads use.
//
// The hand-over rule, for every thread that uses a gateway socket:
// - Read the active set afresh for every exchange, and hold the socket only through a
//   SocketLease for that one exchange (one read of the burst thread, one command and
//   its reply); let go before sleeping, and before closing or switching anything.
// - A lease takes no lock, and no lock is held across an exchange. Closing a slot
//   takes the handle out of every slot and shuts the socket down, so an exchange on it
//   fails at once; the closer then waits for the leases on it to let go before it
//   closes the handle. So no thread ever uses a closed handle, or a new socket that the
//   system gave the same number. A thread that closed a slot it holds a lease on would
//   wait for itself: it lets go first.
// - A slot of 0 is a channel that is not open: the burst thread sleeps while the
//   active burst socket is 0, and both threads sleep while hot_backup_running is 1.
// - Reconnects and switch-overs run one at a time (gateway_change_running); one that
//   finds another running is refused, never queued.
#pragma once

#include <cstdint>

#include "context/context.h"
#include "gateway/socket_slot.h"

namespace krogw {

inline constexpr uint8_t kPrimaryGateway = 1;
inline constexpr uint8_t kSecondaryGateway = 2;

enum class ActiveChannel { Status, Sync, Burst };

// The active slot of one channel, for a SocketLease.
const SocketSlot& ActiveSlot(const DriverContext& context, ActiveChannel channel);

// The socket set of gateway 1 or 2 (any other number: 2).
SocketSet& SocketsOf(DriverContext& context, uint8_t gateway);

// Copies the gateway's three sockets and its channel id into the active set.
void MakeActive(DriverContext& context, uint8_t gateway);

// Shuts the active set's three sockets down, each under a lease, so that every
// exchange on them fails at once after a failed send. Closing them stays with
// reconnect and switch-over, which own the slots.
void ShutDownActiveSockets(DriverContext& context);

// After a reconnect of the active gateway or a switch-over, in the sync channel's turn: the
// polls in flight and queued are forgotten (the next scan polls again; how many queued
// ones were dropped is logged), and so are the writes waiting for a late reply from the
// old gateway. Queued writes stay, to go to the new active gateway in order.
void ForgetOldGatewayFlow(DriverContext& context);

}  // namespace krogw
