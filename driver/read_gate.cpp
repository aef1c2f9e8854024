// Function codes 5 and 6: reads of a gate and of an array gate, by GateKind.
#include <algorithm>

#include "context/context.h"
#include "driver/gate_io.h"
#include "driver/gateway_status_read.h"
#include "driver/handlers.h"
#include "driver/rtu_state.h"
#include "driver/special_gates.h"
#include "exchange/polls.h"
#include "gateway/frame.h"
#include "gateway/status.h"
#include "host/qivpro.h"
#include "include/krogw/abi.h"

namespace krogw {
namespace {

// A table value comes from polls and reports; the read hands over what the host holds.
int32_t ReadTableElement(DriverContext& context, GateIoArguments& io) {
    uint8_t state = 0;
    if (!RtuStateOf(context, io.address.unit_id, state) || state == RtuDisabled) {
        return kResultNotDone;
    }
    uint32_t raw = 0;
    QivGetGateRawValue(context.client, io.gate_id, &raw, 0);
    double value = 0.0;
    int32_t quality = 0;
    int32_t seconds = 0;
    if (QivGetGateVal(context.client, 16, io.gate_id, &value, &quality, &seconds) != 0) {
        return kResultNotDone;
    }
    for (int byte = 0; byte < 4; ++byte) {
        io.value_buffer[byte] = static_cast<uint8_t>(raw >> (8 * byte));
    }
    return kResultDone;
}

int32_t ReadPoll(uint32_t opcode, HostRequest& request) {
    if (const auto answer =
            AnswerWithoutContact(*request.context, GateIoOf(request).address.unit_id)) {
        return *answer;
    }
    return PollGate(*request.context, opcode, GateIoOf(request));
}

// The RTU's number is in the subaddress; one that names no RTU is refused before it
// can index the state table.
int32_t ReadRtuStatus(HostRequest& request) {
    const int32_t rtu = GateIoOf(request).address.subaddress;
    uint8_t state = 0;
    if (!RtuStateOf(*request.context, rtu, state)) {
        return kResultNotDone;
    }
    GateIoArguments& io = GateIoOf(request);
    PutValueWord(io, QueryRtuState(*request.context, io.address.unit_id, rtu));
    return kResultDone;
}

}  // namespace

int32_t ReadGate(HostRequest& request) {
    DriverContext& context = *request.context;
    GateIoArguments& io = GateIoOf(request);
    if (io.value_buffer == nullptr) {
        return kResultNotDone;
    }
    switch (io.address.kind) {
        case TableElement:
            return ReadTableElement(context, io);
        case GatewayStatus:
            return ReadGatewayStatus(context, io);
        case RtuStatus:
            return ReadRtuStatus(request);
        case PollRows:
            return ReadPoll(kOpPoll, request);
        case PollNumberedRows:
            return ReadPoll(kOpPollRowList, request);
        default:
            // The load, active gateway, last error and SetCall parameter gates; the
            // write-only and array kinds answer 1.
            return ReadDriverGate(context, io);
    }
}

int32_t ReadGateArray(HostRequest& request) {
    DriverContext& context = *request.context;
    const GateIoArguments& io = GateIoOf(request);
    if (io.value_buffer == nullptr || io.address.kind != RtuChannelStatus) {
        return kResultNotDone;
    }
    uint16_t values[kRtuChannelStatusValues] = {};
    const ExchangeResult result =
        QueryRtuChannelStatus(context, static_cast<uint16_t>(io.address.unit_id), values);
    if (result == kExchangeDone) {
        // The host's buffer holds as many 16-bit words as the gate has elements.
        const int words = std::clamp(io.element_count, 0, kRtuChannelStatusValues);
        for (int index = 0; index < words; ++index) {
            io.value_buffer[2 * index] = static_cast<uint8_t>(values[index]);
            io.value_buffer[2 * index + 1] = static_cast<uint8_t>(values[index] >> 8);
        }
    }
    return result;
}

}  // namespace krogw
