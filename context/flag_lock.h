// The context's byte flags. Each is taken by one indivisible exchange and never taken
// from its holder: every holder lets go within its own bound. The sync channel's lock
// is a turn queue instead (context/turn_queue.h).
#pragma once

#include <cstdint>

#include "context/context.h"

namespace krogw {

// The longest one exchange holds its channel or its socket's lease: a send and the
// reply, each within the reply time-out.
int32_t ExchangeHoldMs(const DriverContext& context);

// Holds a flag for a scope. Its holders keep it across a few loads and stores, never
// across a wait, so the waiter waits until it is let go.
class FlagLock {
  public:
    explicit FlagLock(ByteFlag& flag);
    ~FlagLock();
    FlagLock(const FlagLock&) = delete;
    FlagLock& operator=(const FlagLock&) = delete;

  private:
    ByteFlag& flag_;
};

// A turn at a status channel for one exchange, once its flag was taken within wait_ms;
// a flag that stays held leaves the turn untaken, and the exchange is not made. A null
// flag is a channel without turns, always taken.
class ChannelTurn {
  public:
    ChannelTurn(ByteFlag* flag, int32_t wait_ms);
    ~ChannelTurn();
    ChannelTurn(const ChannelTurn&) = delete;
    ChannelTurn& operator=(const ChannelTurn&) = delete;

    bool taken() const { return flag_ != nullptr || !held_elsewhere_; }

  private:
    ByteFlag* flag_ = nullptr;  // held by this turn
    bool held_elsewhere_ = false;
};

}  // namespace krogw
