#include "tools/hostsim/gate_index.h"

namespace hostsim {
namespace {

constexpr size_t kFirstCapacity = 1024;  // a power of two

uint64_t Hash(const GateKey& key) {
    uint64_t hash = 0x9E3779B97F4A7C15ull;
    for (const int32_t word : key) {
        hash = (hash ^ static_cast<uint32_t>(word)) * 0xBF58476D1CE4E5B9ull;
        hash ^= hash >> 31;
    }
    return hash;
}

// Word by word: a memcmp here would be intercepted by the fuzzers' comparison hooks.
bool SameKey(const GateKey& a, const GateKey& b) {
    for (size_t word = 0; word < a.size(); ++word) {
        if (a[word] != b[word]) {
            return false;
        }
    }
    return true;
}

}  // namespace

size_t GateIndex::SlotOf(const GateKey& key) const {
    const size_t mask = slots_.size() - 1;
    size_t slot = static_cast<size_t>(Hash(key)) & mask;
    while (slots_[slot].id != 0 && !SameKey(slots_[slot].key, key)) {
        slot = (slot + 1) & mask;
    }
    return slot;
}

void GateIndex::Grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? kFirstCapacity : old.size() * 2, Slot{});
    used_ = 0;
    for (const Slot& slot : old) {
        if (slot.id != 0) {
            Insert(slot.key, slot.id);
        }
    }
}

void GateIndex::Insert(const GateKey& key, int32_t id) {
    if ((used_ + 1) * 2 > slots_.size()) {
        Grow();
    }
    Slot& slot = slots_[SlotOf(key)];
    if (slot.id == 0) {
        ++used_;
    }
    slot = Slot{key, id};
}

int32_t GateIndex::Find(const GateKey& key) const {
    return slots_.empty() ? 0 : slots_[SlotOf(key)].id;
}

void GateIndex::Clear() {
    slots_.clear();
    used_ = 0;
}

}  // namespace hostsim
