// Function codes 7 and 10: writes of a gate and of an array gate, by GateKind.
#include "context/context.h"
#include "driver/gate_io.h"
#include "driver/handlers.h"
#include "driver/rtu_state.h"
#include "driver/special_gates.h"
#include "exchange/commands.h"
#include "exchange/special_writes.h"
#include "gateway/frame.h"
#include "gateway/hot_backup.h"

namespace krogw {
namespace {

int32_t WriteTableElement(DriverContext& context, GateIoArguments& io) {
    if (const auto answer = AnswerWithoutContact(context, io.address.unit_id)) {
        return *answer;
    }
    return RequestCommand(context, CommandWriteFromRequest(io));
}

// The written value is not used: the write only triggers a poll.
int32_t WritePoll(uint32_t opcode, HostRequest& request) {
    DriverContext& context = *request.context;
    if (const auto answer = AnswerWithoutContact(context, GateIoOf(request).address.unit_id)) {
        return *answer;
    }
    const int32_t result = PollGate(context, opcode, GateIoOf(request));
    return context.poll_result_on_write == 1 ? result : kResultDone;
}

int32_t WriteActiveGateway(DriverContext& context) {
    return BothGatewaysUsable(context) ? SwitchGateway(context, kManualSwitch) : kResultNotDone;
}

int32_t WriteRtuTime(DriverContext& context, GateIoArguments& io) {
    if (const auto answer = AnswerWithoutContact(context, io.address.subaddress)) {
        return *answer;
    }
    return SetRtuTime(context, io.address.subaddress);
}

}  // namespace

int32_t WriteGate(HostRequest& request) {
    DriverContext& context = *request.context;
    GateIoArguments& io = GateIoOf(request);
    if (io.value_buffer == nullptr) {
        return kResultNotDone;
    }
    switch (io.address.kind) {
        case TableElement:
            return WriteTableElement(context, io);
        case RtuStatus:
            return WriteRtuStatus(context, io);
        case PollRows:
            return WritePoll(kOpPoll, request);
        case PollNumberedRows:
            return WritePoll(kOpPollRowList, request);
        case ActiveGateway:
            return WriteActiveGateway(context);
        case RtuTime:
            return WriteRtuTime(context, io);
        case SetCallExecute:
            return SendSetCall(context);
        case SetCallRtu:
        case SetCallQr:
        case SetCallQd:
        case SetCallQc:
        case SetCallSr:
        case SetCallSd:
            return WriteSetCallParameter(context, io);
        default:
            // Read-only gates and kinds that no address yields.
            return kResultNotDone;
    }
}

int32_t WriteGateArray(HostRequest& request) {
    DriverContext& context = *request.context;
    GateIoArguments& io = GateIoOf(request);
    if (io.value_buffer == nullptr || io.address.kind != TableElement) {
        return kResultNotDone;
    }
    return WriteTableElement(context, io);
}

}  // namespace krogw
