// The measuring host's gates: which sub-addresses of the one RTU have a gate, and the
// values stored.
#pragma once

#include <cstdint>

#include "host/qivpro.h"

namespace bench {

inline constexpr int32_t kRtu = 1;
inline constexpr int32_t kErrorGateId = 65535;

struct GateSlot {
    double value;
    int32_t seconds;
    int32_t milliseconds;
};

struct CheapHost {
    int32_t gate_of_subaddress[1 << 20];  // 0: no gate
    GateSlot gates[1 << 16];
    uint64_t stores;
};

CheapHost& Host();

}  // namespace bench
