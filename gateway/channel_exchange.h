// One exchange at a time on each channel, on the handle its lease holds. The host may
// call KroMain for one instance from several threads, and two exchanges on one channel
// would take each other's replies. A status channel's turn is its gateway's
// status_channel_busy flag; the sync channel's is command_busy, which the command
// thread takes to read it. A turn is waited for a bounded time, about as long as the
// exchange before it may last.
#pragma once

#include <cstdint>

#include "context/context.h"
#include "context/flag_lock.h"
#include "gateway/socket_slot.h"
#include "platform/platform.h"

namespace krogw {

// A lease on the socket of a slot for one exchange and, on a status channel, the
// channel's turn. Take it just before the exchange and let go right after, before
// anything is switched or closed.
class ChannelExchange {
  public:
    ChannelExchange(DriverContext& context, const SocketSlot& slot);

    // 0 when the slot held no open socket or the channel stayed busy.
    PlatformSocket socket() const { return busy() ? 0 : lease_.socket(); }
    // Another exchange held the channel for longer than any exchange lasts: nothing
    // may be sent, and nothing is known of the gateway.
    bool busy() const { return !turn_.taken(); }

  private:
    SocketLease lease_;
    ChannelTurn turn_;
};

}  // namespace krogw
