// The gates' ids by their address words: a flat open-addressing hash, so that the
// driver's look-up of every decoded element costs a hash and a probe or two.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace hostsim {

// Driver number minus 1, then the four address words the driver passes.
using GateKey = std::array<int32_t, 5>;

class GateIndex {
  public:
    // Sets the key's id, replacing an earlier one.
    void Insert(const GateKey& key, int32_t id);
    // The key's id, or 0 when it has none (ids start at 1).
    int32_t Find(const GateKey& key) const;
    void Clear();

  private:
    struct Slot {
        GateKey key;
        int32_t id;  // 0: empty
    };
    size_t SlotOf(const GateKey& key) const;
    void Grow();

    std::vector<Slot> slots_;
    size_t used_ = 0;
};

}  // namespace hostsim
