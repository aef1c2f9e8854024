// A byte stream in which every byte has its arrival time, read on a clock that moves
// only while the reader waits: the message reader's link for tests and fuzz targets,
// with no real time passing.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace krogw::test {

class ScriptedLink {
  public:
    ScriptedLink(std::vector<uint8_t> bytes, std::vector<int64_t> arrival)
        : bytes_(std::move(bytes)), arrival_(std::move(arrival)) {}

    int Receive(uint8_t* at, size_t count) {
        size_t taken = 0;
        while (taken < count && position_ < bytes_.size() && arrival_[position_] <= now_) {
            at[taken++] = bytes_[position_++];
        }
        return taken > 0 ? static_cast<int>(taken) : kSocketWouldBlock;
    }
    int WaitReadable(int32_t ms) {
        negative_wait_ = negative_wait_ || ms < 0;
        if (position_ < bytes_.size() && arrival_[position_] <= now_ + ms) {
            now_ = std::max(now_, arrival_[position_]);
            return 1;
        }
        now_ += ms;
        return 0;
    }
    int64_t NowMs() const { return now_; }
    bool Exhausted() const { return position_ == bytes_.size(); }
    // True once a wait of less than nothing was asked for.
    bool WaitedNegative() const { return negative_wait_; }

  private:
    std::vector<uint8_t> bytes_;
    std::vector<int64_t> arrival_;
    size_t position_ = 0;
    int64_t now_ = 0;
    bool negative_wait_ = false;
};

// Arrival times of `size` bytes sent in pieces cut at the offsets, each piece
// `pause_ms` after the one before, the first at `start_ms`.
inline std::vector<int64_t> PieceArrivals(size_t size, const std::vector<size_t>& cuts,
                                          int64_t pause_ms, int64_t start_ms = 0) {
    std::vector<int64_t> arrival(size);
    int64_t at = start_ms;
    size_t cut = 0;
    for (size_t i = 0; i < size; ++i) {
        while (cut < cuts.size() && cuts[cut] == i) {
            at += pause_ms;
            ++cut;
        }
        arrival[i] = at;
    }
    return arrival;
}

}  // namespace krogw::test
