// The gateway's status queries with their results laid into a gate's value buffer as
// a read of that gate lays them: the status word at bytes 2-3, the channel status words
// from byte 0, no more than the gate's element count.
#pragma once

#include <algorithm>

#include "gateway/status.h"
#include "include/krogw/abi.h"

namespace krogw::test {

inline ExchangeResult QueryGatewayStatusInto(DriverContext& context, const GateIoArguments& gate) {
    uint16_t word = 0;
    const ExchangeResult result = QueryGatewayStatus(context, gate.address.unit_id, &word);
    if (result == kExchangeDone) {
        gate.value_buffer[2] = static_cast<uint8_t>(word);
        gate.value_buffer[3] = static_cast<uint8_t>(word >> 8);
    }
    return result;
}

inline ExchangeResult QueryRtuChannelStatusInto(DriverContext& context,
                                                const GateIoArguments& gate) {
    uint16_t values[kRtuChannelStatusValues] = {};
    const ExchangeResult result =
        QueryRtuChannelStatus(context, static_cast<uint16_t>(gate.address.unit_id), values);
    const int words = std::clamp(gate.element_count, 0, kRtuChannelStatusValues);
    for (int index = 0; result == kExchangeDone && index < words; ++index) {
        gate.value_buffer[2 * index] = static_cast<uint8_t>(values[index]);
        gate.value_buffer[2 * index + 1] = static_cast<uint8_t>(values[index] >> 8);
    }
    return result;
}

}  // namespace krogw::test
