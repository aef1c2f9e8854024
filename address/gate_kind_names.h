#pragma once

#include <cstdint>

namespace krogw {

// The GateKind's name ("TableElement", ...), or "unknown" for a value outside 0..17.
const char* GateKindName(int32_t kind);

}  // namespace krogw
