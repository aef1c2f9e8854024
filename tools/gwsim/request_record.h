// The record of received requests for tests and logs: a ring of the latest ones, so a
// simulator left running for days keeps a fixed amount of memory, and counts of every
// request received, per opcode, including those that fell out of the ring.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "tools/gwsim/types.h"

namespace gwsim {

class RequestRecord {
  public:
    // At most this many opcodes are counted one by one; a client sending more distinct
    // opcodes than that (only garbage does) has the others uncounted.
    static constexpr size_t kMaxCountedOpcodes = 1024;

    explicit RequestRecord(size_t capacity);

    // Overwrites the oldest request once the ring is full; reuses its buffer.
    void Add(int connection, int channel_type, uint32_t opcode, const std::vector<uint8_t>& bytes,
             std::chrono::steady_clock::time_point received);
    // The requests still in the ring, oldest first.
    std::vector<RecordedRequest> Latest() const;
    // Every request of the opcode received since the last Clear, in the ring or not.
    size_t Count(uint32_t opcode) const;
    // The index-th request (from 0) of the opcode since the last Clear; nullptr when it
    // has not come or has fallen out of the ring.
    const RecordedRequest* Find(uint32_t opcode, size_t index) const;
    size_t size() const { return stored_; }
    size_t capacity() const { return slots_.size(); }
    // Requests that fell out of the ring since the last Clear.
    uint64_t overwritten() const { return overwritten_; }
    void Clear();

  private:
    struct Slot {
        RecordedRequest request;
        size_t ordinal = 0;  // among the requests of its opcode
    };

    std::vector<Slot> slots_;
    size_t next_ = 0;  // the slot written next
    size_t stored_ = 0;
    uint64_t overwritten_ = 0;
    std::map<uint32_t, size_t> counts_;
};

}  // namespace gwsim
