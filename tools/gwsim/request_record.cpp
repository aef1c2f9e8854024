#include "tools/gwsim/request_record.h"

#include <algorithm>

namespace gwsim {

RequestRecord::RequestRecord(size_t capacity) : slots_(std::max<size_t>(capacity, 1)) {}

void RequestRecord::Add(int connection, int channel_type, uint32_t opcode,
                        const std::vector<uint8_t>& bytes,
                        std::chrono::steady_clock::time_point received) {
    size_t ordinal = 0;
    const auto counted = counts_.find(opcode);
    if (counted != counts_.end()) {
        ordinal = counted->second++;
    } else if (counts_.size() < kMaxCountedOpcodes) {
        counts_.emplace(opcode, 1);
    }
    Slot& slot = slots_[next_];
    if (stored_ == slots_.size()) {
        ++overwritten_;
    } else {
        ++stored_;
    }
    slot.ordinal = ordinal;
    slot.request.connection = connection;
    slot.request.channel_type = channel_type;
    slot.request.opcode = opcode;
    slot.request.bytes.assign(bytes.begin(), bytes.end());  // keeps the slot's buffer
    slot.request.received = received;
    next_ = (next_ + 1) % slots_.size();
}

std::vector<RecordedRequest> RequestRecord::Latest() const {
    std::vector<RecordedRequest> latest;
    latest.reserve(stored_);
    const size_t oldest = (next_ + slots_.size() - stored_) % slots_.size();
    for (size_t i = 0; i < stored_; ++i) {
        latest.push_back(slots_[(oldest + i) % slots_.size()].request);
    }
    return latest;
}

size_t RequestRecord::Count(uint32_t opcode) const {
    const auto counted = counts_.find(opcode);
    return counted == counts_.end() ? 0 : counted->second;
}

const RecordedRequest* RequestRecord::Find(uint32_t opcode, size_t index) const {
    if (index >= Count(opcode)) {
        return nullptr;
    }
    const size_t oldest = (next_ + slots_.size() - stored_) % slots_.size();
    for (size_t i = 0; i < stored_; ++i) {
        const Slot& slot = slots_[(oldest + i) % slots_.size()];
        if (slot.request.opcode == opcode && slot.ordinal == index) {
            return &slot.request;
        }
    }
    return nullptr;
}

void RequestRecord::Clear() {
    next_ = 0;
    stored_ = 0;
    overwritten_ = 0;
    counts_.clear();
}

}  // namespace gwsim
