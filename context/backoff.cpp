#include "context/backoff.h"

#include "platform/platform.h"

namespace krogw {
namespace {

constexpr int64_t kYieldMs = 2;
constexpr uint32_t kSleepMs = 1;

}  // namespace

void Backoff::Pause() {
    const int64_t now = PlatformMonotonicMs();
    if (yield_until_ms_ < 0) {
        yield_until_ms_ = now + kYieldMs;
    }
    if (now < yield_until_ms_) {
        PlatformYield();
    } else {
        PlatformSleepMs(kSleepMs);
    }
}

}  // namespace krogw
