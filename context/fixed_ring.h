// A first-in first-out queue kept as a ring in a fixed array: `head` is the index of the
// oldest entry and `count` the number of entries, so neither end ever moves the others.
// The caller holds the queue's lock around every call.
#pragma once

#include <cstddef>
#include <cstdint>

#include "context/context.h"

namespace krogw {

// Fills the slot behind the newest entry in place; false, and nothing filled, when
// the queue already holds `limit` entries or the array is full.
template <typename Entry, size_t N, typename Fill>
bool RingAppend(Entry (&entries)[N], uint16_t head, Counter& count, size_t limit, Fill&& fill) {
    const size_t held = count.load();
    if (held >= limit || held >= N) {
        return false;
    }
    fill(entries[(head + held) % N]);
    count.store(static_cast<uint16_t>(held + 1));
    return true;
}

// Copies the oldest entry out, leaving it in place; false when the queue is empty.
template <typename Entry, size_t N>
bool RingCopyOldest(const Entry (&entries)[N], uint16_t head, const Counter& count, Entry* oldest) {
    if (count.load() == 0) {
        return false;
    }
    *oldest = entries[head % N];
    return true;
}

// Drops the oldest entry; false when the queue is empty.
template <typename Entry, size_t N>
bool RingDropOldest(const Entry (&)[N], uint16_t& head, Counter& count) {
    const uint16_t held = count.load();
    if (held == 0) {
        return false;
    }
    head = static_cast<uint16_t>((head + 1) % N);
    count.store(static_cast<uint16_t>(held - 1));
    return true;
}

// Copies the oldest entry out and drops it; false when the queue is empty.
template <typename Entry, size_t N>
bool RingTakeOldest(Entry (&entries)[N], uint16_t& head, Counter& count, Entry* oldest) {
    return RingCopyOldest(entries, head, count, oldest) && RingDropOldest(entries, head, count);
}

// How many entries a queue of `capacity` accepts when `in_flight_limit` more may be on
// their way: queued and in flight together stay within the capacity.
inline size_t QueueLimit(size_t capacity, int32_t in_flight_limit) {
    if (in_flight_limit <= 0) {
        return capacity;
    }
    const auto limit = static_cast<size_t>(in_flight_limit);
    return limit >= capacity ? 0 : capacity - limit;
}

}  // namespace krogw
