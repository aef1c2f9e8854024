// The special gates answered from the context alone.
#include "driver/special_gates.h"

#include "driver/gate_io.h"
#include "driver/rtu_state.h"
#include "host/qivpro.h"

namespace krogw {
namespace {

bool IsSetCallParameter(int32_t kind) {
    return kind >= SetCallRtu && kind <= SetCallSd;
}

uint16_t Sum(const Counter& in_flight, const Counter& queued) {
    return static_cast<uint16_t>(in_flight.load() + queued.load());
}

}  // namespace

int32_t ReadDriverGate(const DriverContext& context, GateIoArguments& io) {
    const int32_t kind = io.address.kind;
    if (IsSetCallParameter(kind)) {
        PutValueWord(io, static_cast<uint16_t>(context.setcall_params[kind - SetCallRtu].load()));
        return kResultDone;
    }
    switch (kind) {
        case LastError:
            PutValueWord(io, context.last_error_code.load());
            return kResultDone;
        case PollLoad:
            PutValueWord(io, Sum(context.polls_in_flight, context.poll_queue_count));
            return kResultDone;
        case ActiveGateway:
            PutValueWord(io, context.active_gateway.load());
            return kResultDone;
        case CommandLoad:
            PutValueWord(io, Sum(context.commands_in_flight, context.command_queue_count));
            return kResultDone;
        default:
            return kResultNotDone;
    }
}

int32_t WriteSetCallParameter(DriverContext& context, const GateIoArguments& io) {
    context.setcall_params[io.address.kind - SetCallRtu].store(ValueWord(io));
    return kResultDone;
}

// 0 disables the RTU, 1 enables it again (not confirmed until it answers); any other
// value changes nothing.
int32_t WriteRtuStatus(DriverContext& context, const GateIoArguments& io) {
    const uint16_t value = ValueWord(io);
    if (value != 0 && value != 1) {
        return kResultDone;
    }
    if (!SetRtuState(context, io.address.subaddress, value == 0 ? RtuDisabled : RtuNotConfirmed)) {
        return kResultNotDone;
    }
    err(kLogTrace, value == 0 ? "KroGW : Write value is OK" : "KroGW : Write value is NOK");
    return kResultDone;
}

}  // namespace krogw
