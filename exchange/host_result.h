// What a poll or a write answers the host, apart from the RTU state it is often taken
// from: the handlers return it as it is.
#pragma once

#include <cstdint>

#include "context/context.h"
#include "include/krogw/abi.h"

namespace krogw {

enum HostResult : uint8_t {
    HostDone = kResultDone,
    HostNotDone = kResultNotDone,
    HostFailed = kResultFailed,
};

// A request that addresses an RTU answers with its state: active done, not confirmed
// not done, communication failed failed. A disabled RTU, met here only when it was
// disabled meanwhile, answers its state (3) as it is.
inline HostResult ResultOfState(uint8_t state) {
    return static_cast<HostResult>(state);
}

// A failure is reported as not done when sign_rtu_on_fail is 0.
inline HostResult ReportedResult(HostResult result, uint8_t sign_rtu_on_fail) {
    return result == HostFailed && sign_rtu_on_fail == 0 ? HostNotDone : result;
}

// The reported result of RTU `rtu`'s state.
inline HostResult ReportedResultOf(const DriverContext& context, int32_t rtu) {
    return ReportedResult(ResultOfState(context.rtu_state[static_cast<uint16_t>(rtu)].load()),
                          context.sign_rtu_on_fail);
}

}  // namespace krogw
