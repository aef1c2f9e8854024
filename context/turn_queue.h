// Turns at the sync channel, served in the order they were asked for. A turn is never
// taken from its holder: each holder's exchange ends within its own reply time-outs.
// A waiter waits up to its bound and then gives its place up, and the turn passes over
// it to the next in line.
#pragma once

#include <cstdint>

#include "context/context.h"

namespace krogw {

// How long a sender waits for the sync channel: two whole exchanges, a send and its
// wait for the confirmation each (cmd_response_time plus sync_reply_timeout), so that
// one held and one more ahead in line never make a write give up.
int32_t SyncTurnWaitMs(const DriverContext& context);

// Holds a turn of the queue for a scope, once it came within wait_ms.
class QueuedTurn {
  public:
    QueuedTurn(TurnQueue& queue, int32_t wait_ms);
    ~QueuedTurn();
    QueuedTurn(const QueuedTurn&) = delete;
    QueuedTurn& operator=(const QueuedTurn&) = delete;

    bool taken() const { return queue_ != nullptr; }

  private:
    TurnQueue* queue_ = nullptr;  // while this turn is held
};

}  // namespace krogw
