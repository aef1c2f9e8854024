// One table element into its gate: the look-up by the element's address words, the
// host's conversion of the raw value, and the store, with the RTU's time stamp when
// the row carries one.
#pragma once

#include <cstdint>

#include "context/context.h"

namespace krogw {

enum class StoreOutcome { NoGate, NotCooked, Stored };

// The time stamp after column 0 of a time-stamped row: its type (4 or 5) and bytes.
struct StampAt {
    uint8_t type;
    const uint8_t* bytes;
};

// Logs a failed conversion and a failed store; a missing gate is the caller's to log,
// as poll replies and burst reports word it differently.
StoreOutcome StoreElement(DriverContext& context, int32_t rtu, int32_t subaddress, uint32_t raw,
                          const StampAt* stamp);

// The gate of a table element, or false.
bool FindElementGate(const DriverContext& context, int32_t rtu, int32_t subaddress,
                     int32_t& gate_id);

}  // namespace krogw
