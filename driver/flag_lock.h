// Holds one of the context's byte flags for a scope. Taking it is one indivisible
// exchange; a thread that finds it held sleeps 1 ms and tries again.
#pragma once

#include "driver/context.h"
#include "platform/platform.h"

namespace krogw {

class FlagLock {
  public:
    explicit FlagLock(ByteFlag& flag) : flag_(flag) {
        while (flag_.exchange(1, std::memory_order_acquire) != 0) {
            PlatformSleepMs(1);
        }
    }
    ~FlagLock() { flag_.store(0, std::memory_order_release); }
    FlagLock(const FlagLock&) = delete;
    FlagLock& operator=(const FlagLock&) = delete;

  private:
    ByteFlag& flag_;
};

}  // namespace krogw
