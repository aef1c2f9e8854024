// The burst thread: the only reader of the active burst channel. It takes poll
// replies and burst reports into the gates and sends queued polls while the
// in-flight limit allows, until the host ends the instance's client.
#include "exchange/burst_message.h"
#include "exchange/polls.h"
#include "exchange/threads.h"
#include "gateway/active_set.h"
#include "gateway/channel.h"
#include "gateway/connections.h"
#include "gateway/frame.h"
#include "gateway/socket_io.h"
#include "host/qivpro.h"
#include "platform/platform.h"

namespace krogw {
namespace {

constexpr uint32_t kStartPauseMs = 500;
constexpr uint32_t kIdlePauseMs = 2000;  // no burst channel, or a switch-over running
constexpr uint32_t kEndPauseMs = 3000;

// Reads one message from the active burst channel into burst_buffer and takes it.
// The lease lasts for the read and, after a message of unknown type, the flush of
// the same channel; burst_buffer is free again by then and serves as its scratch.
void TakeOneMessage(DriverContext& context, int32_t& backup_mode) {
    const SocketLease lease(context, ActiveSlot(context, ActiveChannel::Burst));
    uint8_t* buffer = context.burst_buffer;
    if (!GwRecvUnsolicited(lease.socket(), buffer, sizeof context.burst_buffer, context)) {
        return;
    }
    const size_t received = GetU16(buffer + kGwTotalLengthOffset);
    if (TakeBurstChannelMessage(context, buffer, received, backup_mode) ==
        BurstMessageOutcome::UnknownType) {
        GwFlush(lease.socket(), buffer, sizeof context.burst_buffer);
    }
}

void RunPass(DriverContext& context, int32_t& backup_mode) {
    if (context.active_sockets.burst.load() == 0) {
        PlatformSleepMs(kIdlePauseMs);
    }
    if (context.hot_backup_running.load() == 1) {
        PlatformSleepMs(kIdlePauseMs);
    }
    if (static_cast<int32_t>(context.polls_in_flight.load()) < context.poll_buffer_length &&
        context.poll_queue_count.load() != 0) {
        DrainPollQueue(context);
    }
    TakeOneMessage(context, backup_mode);
}

// A gateway whose close request went unanswered keeps its sockets open; the
// instance is ending, so they are closed without the gateway's consent.
void CloseGatewayAtEnd(DriverContext& context, uint8_t gateway) {
    if (!CloseChannel(SocketsOf(context, gateway), context)) {
        CloseGatewaySockets(context, gateway);
    }
}

}  // namespace

void BurstThread(void* argument) {
    DriverContext& context = *static_cast<DriverContext*>(argument);
    err(kLogError, "KroGW : Start Burst thread");
    PlatformSleepMs(kStartPauseMs);
    int32_t backup_mode = 0;
    QivMessage host_message{};
    while (context.start_abandoned.load() == 0 &&
           QivWaitMsg(context.client, &host_message, 0) != 0) {
        RunPass(context, backup_mode);
    }
    CloseGatewayAtEnd(context, kPrimaryGateway);
    if (context.secondary_configured == 1) {
        CloseGatewayAtEnd(context, kSecondaryGateway);
    }
    LeaveInstance(context);
    // The context is not touched from here on: the host may release it.
    PlatformSleepMs(kEndPauseMs);
}

}  // namespace krogw
