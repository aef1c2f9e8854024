// The context's byte flags. Each is taken by one indivisible exchange; a thread that
// finds one held sleeps 1 ms and tries again, for a bounded time, so that no request
// or thread waits for ever on a flag left held (a context overwritten by the host, a
// thread that died holding it).
#pragma once

#include <cstdint>

#include "context/context.h"

namespace krogw {

// A flag held across a few loads and stores, never across a wait.
inline constexpr int32_t kShortHoldMs = 1000;

// The longest one exchange holds its channel or its socket's lease: a send and the
// reply, each within the reply time-out.
int32_t ExchangeHoldMs(const DriverContext& context);

// The longest the sync channel's flag is held: a write's send and its wait for the
// confirmation.
int32_t SyncChannelHoldMs(const DriverContext& context);

// Holds a flag for a scope. A flag still held after `held_at_most_ms`, longer than any
// holder keeps it, was left over: it is taken over, with a line naming it.
class FlagLock {
  public:
    FlagLock(ByteFlag& flag, const char* name, int32_t held_at_most_ms = kShortHoldMs);
    ~FlagLock();
    FlagLock(const FlagLock&) = delete;
    FlagLock& operator=(const FlagLock&) = delete;

  private:
    ByteFlag& flag_;
};

// A turn at a channel for one exchange, once its flag was taken within wait_ms; a flag
// that stays held leaves the turn untaken, and the exchange is not made. A null flag
// is a channel without turns, always taken.
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
