#include "exchange/polls.h"

#include "context/counters.h"
#include "context/in_flight.h"
#include "context/poll_queue.h"
#include "context/statistics_count.h"
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

// The channel id is read once the burst socket is held, so that both come from the
// same active set unless a switch-over runs in that instant.
bool SendPollMessage(DriverContext& context, uint32_t opcode, int32_t rtu, int32_t subaddress) {
    const SocketLease lease(context, ActiveSlot(context, ActiveChannel::Burst));
    const PollRequest poll = MakePollRequest(context, opcode, rtu, subaddress);
    uint8_t message[kPollMessageBytes];
    const size_t length = BuildPollRequest(poll, message, sizeof message);
    // The texts, slips included, are kept as hosts' log filters know them.
    err(kLogTrace, "KroGW : Polling form Rtu %d,Tbl %d,Row %d,No %d,Col %d,No %d", poll.rtu,
        poll.range.table, poll.range.first_row, poll.range.row_count, 0, poll.column_count);
    return length != 0 && GwSend(lease.socket(), message, length, context);
}

PollAnswer SendPoll(DriverContext& context, uint32_t opcode, int32_t rtu, int32_t subaddress) {
    if (SendPollMessage(context, opcode, rtu, subaddress)) {
        CountRtu(context, rtu, StatPolls);
        PlatformSleepMs(kPollPauseMs);
        return {ReportedResultOf(context, rtu), true};
    }
    err(kLogError, "KroGW : Fail to send Poll command (Kro#%d)", context.driver_number);
    CountRtu(context, rtu, StatPollFail);
    DecrementNotBelowZero(context.polls_in_flight);
    // The handles stay in their slots for reconnect or switch-over to close.
    ShutDownActiveSockets(context);
    if (context.sign_rtu_on_fail == 1) {
        QivSetPlcCommStatus(context.client, context.driver_number, rtu, 1, 1);
    }
    return {HostFailed, false};
}

}  // namespace

PollAnswer RequestPoll(DriverContext& context, uint32_t opcode, int32_t rtu, int32_t subaddress) {
    if (TakePollSlot(context)) {
        const PollAnswer answer = SendPoll(context, opcode, rtu, subaddress);
        return {ReportedResult(answer.result, context.sign_rtu_on_fail), answer.sent};
    }
    const PollQueueEntry entry{static_cast<int32_t>(opcode), rtu, subaddress};
    if (!EnqueuePoll(context, entry)) {
        err(kLogError, "KroGW : WARNING !!! - Internal Polling buffer if Full");
        return {HostFailed, false};
    }
    return {ReportedResultOf(context, rtu), false};
}

HostResult DrainPollQueue(DriverContext& context) {
    PollQueueEntry oldest{};
    if (!DequeuePoll(context, &oldest)) {
        return HostNotDone;
    }
    return RequestPoll(context, static_cast<uint32_t>(oldest.opcode), oldest.rtu, oldest.subaddress)
        .result;
}

uint16_t QueryRtuState(DriverContext& context, int32_t unit, int32_t rtu) {
    std::atomic<uint8_t>& state = context.rtu_state[static_cast<uint16_t>(rtu)];
    uint16_t status_word = 0;
    if (QueryGatewayStatus(context, unit, &status_word) != kExchangeDone) {
        // Whatever the RTU's state, a disabled one included: nothing is known of it now.
        state.store(RtuNotConfirmed);
        return 0;
    }
    const uint8_t current = state.load();
    return current == RtuDisabled ? 3 : (current == RtuActive ? 1 : 0);
}

}  // namespace krogw
