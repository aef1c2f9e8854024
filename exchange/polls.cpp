#include "exchange/polls.h"

#include "context/counters.h"
#include "context/in_flight.h"
#include "context/poll_queue.h"
#include "exchange/command_reply.h"
#include "exchange/poll_message.h"
#include "gateway/active_set.h"
#include "gateway/socket_io.h"
#include "gateway/status.h"
#include "host/qivpro.h"
#include "platform/platform.h"

namespace krogw {
namespace {

// Paces the polls of one thread to 50 per second.
constexpr uint32_t kPollPauseMs = 20;
// The value buffer's 16-bit value word, little-endian at bytes 2-3.
constexpr size_t kValueWordOffset = 2;
constexpr size_t kValueWordEnd = kValueWordOffset + 2;

void PutValueWord(uint8_t* value_buffer, uint16_t value) {
    if (value_buffer != nullptr) {
        value_buffer[kValueWordOffset] = static_cast<uint8_t>(value);
        value_buffer[kValueWordOffset + 1] = static_cast<uint8_t>(value >> 8);
    }
}

uint8_t ReportedStateOf(const DriverContext& context, int32_t rtu) {
    return ReportedState(context.rtu_state[static_cast<uint16_t>(rtu)].load(),
                         context.sign_rtu_on_fail);
}

// The channel id is read once the burst socket is held, so that both come from the
// same active set unless a switch-over runs in that instant.
bool SendPollMessage(DriverContext& context, uint32_t opcode, const GateIoArguments& gate) {
    const SocketLease lease(context, ActiveSlot(context, ActiveChannel::Burst));
    const PollRequest poll =
        MakePollRequest(context, opcode, gate.address.unit_id, gate.address.subaddress);
    uint8_t message[kPollMessageBytes];
    const size_t length = BuildPollRequest(poll, message, sizeof message);
    err(kLogTrace, "KroGW : Polling form Rtu %d,Tbl %d,Row %d,No %d,Col %d,No %d", poll.rtu,
        poll.range.table, poll.range.first_row, poll.range.row_count, 0, poll.column_count);
    return length != 0 && GwSend(lease.socket(), message, length, context);
}

uint8_t SendPoll(uint32_t opcode, HostRequest& request) {
    DriverContext& context = *request.context;
    const auto& gate = *static_cast<const GateIoArguments*>(request.arguments);
    const int32_t rtu = gate.address.unit_id;
    if (SendPollMessage(context, opcode, gate)) {
        PutValueWord(gate.value_buffer, 0);
        PlatformSleepMs(kPollPauseMs);
        return ReportedStateOf(context, rtu);
    }
    err(kLogError, "KroGW : Fail to send Poll command (Kro#%d)", context.driver_number);
    DecrementNotBelowZero(context.polls_in_flight);
    // The handles stay in their slots for reconnect or switch-over to close.
    ShutDownActiveSockets(context);
    if (context.sign_rtu_on_fail == 1) {
        QivSetPlcCommStatus(context.client, context.driver_number, rtu, 1, 1);
    }
    return kResultFailed;
}

}  // namespace

uint8_t RequestPoll(uint32_t opcode, HostRequest& request) {
    DriverContext& context = *request.context;
    const auto& gate = *static_cast<const GateIoArguments*>(request.arguments);
    if (TakePollSlot(context)) {
        return ReportedState(SendPoll(opcode, request), context.sign_rtu_on_fail);
    }
    const PollQueueEntry entry{static_cast<int32_t>(opcode), gate.address.unit_id,
                               gate.address.subaddress};
    if (!EnqueuePoll(context, entry)) {
        err(kLogError, "KroGW : WARNING !!! - Internal Polling buffer if Full");
        return kResultFailed;
    }
    return ReportedStateOf(context, gate.address.unit_id);
}

uint8_t DrainPollQueue(DriverContext& context) {
    PollQueueEntry oldest{};
    if (!DequeuePoll(context, &oldest)) {
        return kResultNotDone;
    }
    // Nobody reads the value word that a sent poll clears.
    uint8_t value_buffer[kValueWordEnd] = {};
    GateIoArguments gate{};
    gate.address = GateAddress{oldest.rtu, 0, oldest.subaddress, kFixedWord, 0};
    gate.value_buffer = value_buffer;
    HostRequest request{&context, 0, context.driver_number, 0, &gate};
    return RequestPoll(static_cast<uint32_t>(oldest.opcode), request);
}

int32_t ReadRtuState(HostRequest& request, int32_t rtu, DriverContext& context) {
    const auto& gate = *static_cast<const GateIoArguments*>(request.arguments);
    std::atomic<uint8_t>& state = context.rtu_state[static_cast<uint16_t>(rtu)];
    if (QueryGatewayStatus(context, gate) != kExchangeDone) {
        // Whatever the RTU's state, a disabled one included: nothing is known of it now.
        state.store(RtuNotConfirmed);
        PutValueWord(gate.value_buffer, 0);
        return kResultDone;
    }
    const uint8_t current = state.load();
    const uint16_t shown = current == RtuDisabled ? 3 : (current == RtuActive ? 1 : 0);
    PutValueWord(gate.value_buffer, shown);
    return kResultDone;
}

}  // namespace krogw
