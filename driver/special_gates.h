// The gate reads and writes that need no gateway exchange: load, active gateway,
// last error, the stored SetCall parameters and the RTU status write.
#pragma once

#include <cstdint>

#include "context/context.h"
#include "include/krogw/abi.h"

namespace krogw {

int32_t ReadDriverGate(const DriverContext& context, GateIoArguments& io);
int32_t WriteSetCallParameter(DriverContext& context, const GateIoArguments& io);
int32_t WriteRtuStatus(DriverContext& context, const GateIoArguments& io);

}  // namespace krogw
