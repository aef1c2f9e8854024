// The !ERROR gate: the gateway's last result code, written only when it changes.
#pragma once

#include <cstdint>

#include "context/context.h"

namespace krogw {

inline constexpr uint32_t kResultRtuCommunicationFailed = 129;
inline constexpr uint32_t kResultBurstLayoutMismatch = 59;

// Writes the low 16 bits of the code into the !ERROR gate when they differ from the
// code written last. Callable from any thread: look-up, comparison and store are one
// step. Without a !ERROR gate it logs once and stops looking until the next start.
void SetErrorGate(DriverContext& context, uint32_t result_code);

}  // namespace krogw
