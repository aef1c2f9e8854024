#include "context/flag_lock.h"

#include "context/backoff.h"
#include "platform/platform.h"

namespace krogw {
namespace {

// Beyond the time-outs of the exchange that holds a flag or a lease.
constexpr int32_t kHoldMarginMs = 500;

bool TryTake(ByteFlag& flag) {
    return flag.exchange(1, std::memory_order_acquire) == 0;
}

}  // namespace

int32_t ExchangeHoldMs(const DriverContext& context) {
    return 2 * context.sync_reply_timeout.load() + kHoldMarginMs;
}

FlagLock::FlagLock(ByteFlag& flag) : flag_(flag) {
    Backoff backoff;
    while (!TryTake(flag_)) {
        backoff.Pause();
    }
}

FlagLock::~FlagLock() {
    flag_.store(0, std::memory_order_release);
}

ChannelTurn::ChannelTurn(ByteFlag* flag, int32_t wait_ms) {
    if (flag == nullptr) {
        return;
    }
    const int64_t deadline = PlatformMonotonicMs() + wait_ms;
    Backoff backoff;
    while (!TryTake(*flag)) {
        if (PlatformMonotonicMs() >= deadline) {
            held_elsewhere_ = true;
            return;
        }
        backoff.Pause();
    }
    flag_ = flag;
}

ChannelTurn::~ChannelTurn() {
    if (flag_ != nullptr) {
        flag_->store(0, std::memory_order_release);
    }
}

}  // namespace krogw
