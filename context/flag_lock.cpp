#include "context/flag_lock.h"

#include "host/qivpro.h"
#include "platform/platform.h"

namespace krogw {
namespace {

constexpr uint32_t kRetryMs = 1;
// Beyond the time-outs of the exchange that holds a flag or a lease.
constexpr int32_t kHoldMarginMs = 500;

// True once the flag was taken within wait_ms.
bool TakeWithin(ByteFlag& flag, int32_t wait_ms) {
    const int64_t deadline = PlatformMonotonicMs() + wait_ms;
    while (flag.exchange(1, std::memory_order_acquire) != 0) {
        if (PlatformMonotonicMs() >= deadline) {
            return false;
        }
        PlatformSleepMs(kRetryMs);
    }
    return true;
}

}  // namespace

int32_t ExchangeHoldMs(const DriverContext& context) {
    return 2 * context.sync_reply_timeout.load() + kHoldMarginMs;
}

int32_t SyncChannelHoldMs(const DriverContext& context) {
    return context.sync_reply_timeout.load() + context.cmd_response_time + kHoldMarginMs;
}

FlagLock::FlagLock(ByteFlag& flag, const char* name, int32_t held_at_most_ms) : flag_(flag) {
    if (!TakeWithin(flag_, held_at_most_ms)) {
        err(kLogError, "KroGW : %s lock held over %d ms, taken over", name,
            static_cast<int>(held_at_most_ms));
    }
}

FlagLock::~FlagLock() {
    flag_.store(0, std::memory_order_release);
}

ChannelTurn::ChannelTurn(ByteFlag* flag, int32_t wait_ms) {
    if (flag == nullptr) {
        return;
    }
    if (!TakeWithin(*flag, wait_ms)) {
        held_elsewhere_ = true;
        return;
    }
    flag_ = flag;
}

ChannelTurn::~ChannelTurn() {
    if (flag_ != nullptr) {
        flag_->store(0, std::memory_order_release);
    }
}

}  // namespace krogw
