// A stop for the host's own threads that wakes them out of their pause at once.
#pragma once

#include <condition_variable>
#include <mutex>

namespace console {

class StopSignal {
  public:
    void Stop() {
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
        }
        changed_.notify_all();
    }

    // Pauses until `until` or the stop, whichever comes first; true once stopped.
    template <typename TimePoint>
    bool WaitUntil(TimePoint until) {
        std::unique_lock lock(mutex_);
        return changed_.wait_until(lock, until, [this] { return stopped_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopped_ = false;
};

}  // namespace console
