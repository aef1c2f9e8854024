// Every request handler that the dispatch table holds. Each takes the host's request
// and returns 0 (done), 1 (not done) or 2 (failed), or an RTU's state.
#pragma once

#include <cstdint>

#include "include/krogw/abi.h"

namespace krogw {

using Handler = int32_t (*)(HostRequest& request);

int32_t StartInstance(HostRequest& request);
int32_t ReconnectGateway(HostRequest& request);
int32_t ParseGateAddress(HostRequest& request);
int32_t CheckArrayAddress(HostRequest& request);
int32_t ReadGate(HostRequest& request);
int32_t ReadGateArray(HostRequest& request);
int32_t WriteGate(HostRequest& request);
int32_t WriteGateArray(HostRequest& request);
int32_t CloseInstance(HostRequest& request);
int32_t Unsupported(HostRequest& request);
int32_t GetDriverInfo(HostRequest& request);
int32_t SetReplyTimeout(HostRequest& request);

}  // namespace krogw
