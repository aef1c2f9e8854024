// How a thread waits for a lock: it yields for a short while, so that a turn handed over
// within microseconds is taken within microseconds, then sleeps 1 ms between tries, so
// that a long wait costs no processor.
#pragma once

#include <cstdint>

namespace krogw {

class Backoff {
  public:
    // One pause between two tries.
    void Pause();

  private:
    int64_t yield_until_ms_ = -1;  // -1: the first pause starts the yielding
};

}  // namespace krogw
