// TEMPORARY: stand-ins for the operations of exchange/polls.h, exchange/commands.h and
// exchange/threads.h, so that start-up and the gate handlers link and their tests run
// until the real polls, writes and threads are merged. Delete this file then.
// Each sends its message and answers with the RTU's state; nothing is queued.
#include <cstring>

#include "driver/flag_lock.h"
#include "exchange/burst_message.h"
#include "exchange/command_message.h"
#include "exchange/command_reply.h"
#include "exchange/commands.h"
#include "exchange/poll_message.h"
#include "exchange/polls.h"
#include "exchange/threads.h"
#include "gateway/active_set.h"
#include "gateway/channel.h"
#include "gateway/frame.h"
#include "gateway/replies.h"
#include "gateway/socket_io.h"
#include "gateway/socket_slot.h"
#include "gateway/status.h"
#include "host/qivpro.h"
#include "platform/platform.h"

namespace krogw {
namespace {

uint8_t StateOf(const DriverContext& context, int32_t rtu) {
    return ReportedState(context.rtu_state[static_cast<uint16_t>(rtu)].load(),
                         context.sign_rtu_on_fail);
}

// One request and its reply on the active sync channel; true when accepted.
bool SyncExchange(DriverContext& context, uint8_t* message, size_t capacity, uint32_t opcode) {
    const FlagLock busy(context.command_busy);
    const SocketLease lease(context, ActiveSlot(context, ActiveChannel::Sync));
    if (!GwSend(lease.socket(), message, capacity, context) ||
        !GwRecvReply(lease.socket(), message, capacity, context, opcode)) {
        return false;
    }
    return JudgeReply(message, capacity, kGwReplyBit | opcode, kGwBodyOffset).verdict ==
           ReplyVerdict::Accepted;
}

}  // namespace

uint8_t RequestPoll(uint32_t opcode, HostRequest& request) {
    DriverContext& context = *request.context;
    const GateIoArguments& io = *static_cast<const GateIoArguments*>(request.arguments);
    uint8_t message[kPollMessageBytes];
    BuildPollRequest(MakePollRequest(context, opcode, io.address.unit_id, io.address.subaddress),
                     message, sizeof message);
    const SocketLease lease(context, ActiveSlot(context, ActiveChannel::Burst));
    if (!GwSend(lease.socket(), message, sizeof message, context)) {
        return kResultFailed;
    }
    context.polls_in_flight.fetch_add(1);
    return StateOf(context, io.address.unit_id);
}

uint8_t DrainPollQueue(DriverContext& /*context*/) {
    return kResultDone;
}

int32_t ReadRtuState(HostRequest& request, int32_t rtu, DriverContext& context) {
    GateIoArguments& io = *static_cast<GateIoArguments*>(request.arguments);
    ExchangeResult result = kExchangeFailed;
    {
        const SocketLease lease(context, context.primary_status_socket);
        result = QueryGatewayStatus(context, io);
    }
    const auto index = static_cast<uint16_t>(rtu);
    uint16_t word = 0;
    if (result != kExchangeDone) {
        context.rtu_state[index].store(RtuNotConfirmed);
    } else if (context.rtu_state[index].load() == RtuDisabled) {
        word = 3;
    } else if (context.rtu_state[index].load() == RtuActive) {
        word = 1;
    }
    io.value_buffer[2] = static_cast<uint8_t>(word);
    io.value_buffer[3] = 0;
    return kResultDone;
}

uint8_t RequestCommand(GateIoArguments& write, DriverContext& context) {
    const CommandWrite command = CommandWriteFromRequest(write);
    uint8_t message[kRequestBufferBytes];
    if (BuildCommandMessage(command, context.active_channel_id.load(), message, sizeof message) ==
        0) {
        return kResultNotDone;
    }
    if (!SyncExchange(context, message, sizeof message, CommandOpcode(command))) {
        return kResultFailed;
    }
    return StateOf(context, write.address.unit_id);
}

uint8_t DrainCommandQueue(DriverContext& /*context*/) {
    return kResultDone;
}

void HandleCommandReply(const uint8_t* /*message*/, size_t /*received*/,
                        DriverContext& /*context*/) {}

uint8_t SetRtuTime(GateIoArguments& write, DriverContext& context) {
    const auto rtu = static_cast<uint16_t>(write.address.subaddress);
    uint8_t message[kRequestBufferBytes];
    BuildSetRtuTimeMessage(rtu, PlatformLocalTime(), context.active_channel_id.load(), message,
                           sizeof message);
    if (!SyncExchange(context, message, sizeof message, kOpSetRtuTime)) {
        return kResultFailed;
    }
    return StateOf(context, rtu);
}

uint8_t SendSetCall(GateIoArguments& /*write*/, DriverContext& context) {
    const SetCallParameters params{context.setcall_params[0], context.setcall_params[1],
                                   context.setcall_params[2], context.setcall_params[3],
                                   context.setcall_params[4], context.setcall_params[5]};
    uint8_t message[kRequestBufferBytes];
    BuildSetCallMessage(params, context.active_channel_id.load(), message, sizeof message);
    return SyncExchange(context, message, sizeof message, kOpSetCall) ? kResultDone
                                                                      : kResultNotDone;
}

void BurstThread(void* argument) {
    DriverContext& context = *static_cast<DriverContext*>(argument);
    err(kLogError, "KroGW : Start Burst thread");
    PlatformSleepMs(500);
    QivMessage wait{};
    int32_t backup_mode = 0;
    while (QivWaitMsg(context.client, &wait, 0) != 0) {
        bool received = false;
        {
            const SocketLease lease(context, ActiveSlot(context, ActiveChannel::Burst));
            received =
                lease.socket() != 0 && GwRecvUnsolicited(lease.socket(), context.burst_buffer,
                                                         sizeof context.burst_buffer);
        }
        if (received) {
            TakeBurstChannelMessage(
                context, context.burst_buffer,
                GwMessageLength(context.burst_buffer, sizeof context.burst_buffer), backup_mode);
        } else {
            PlatformSleepMs(10);
        }
    }
    for (uint8_t gateway : {kPrimaryGateway, kSecondaryGateway}) {
        if (gateway == kPrimaryGateway || context.secondary_configured == 1) {
            const GatewaySlots slots = SlotsOf(context, gateway);
            CloseChannel(slots.channel_id.load(), slots.status, slots.sync, slots.burst, context);
        }
    }
    QivRmClient(context.client);
    PlatformSleepMs(3000);
}

void CommandThread(void* argument) {
    DriverContext& context = *static_cast<DriverContext*>(argument);
    err(kLogError, "KroGW : Start Command thread");
    PlatformSleepMs(500);
    QivMessage wait{};
    while (QivWaitMsg(context.client, &wait, 0) != 0) {
        PlatformSleepMs(50);
    }
    QivRmClient(context.client);
    PlatformSleepMs(1500);
}

}  // namespace krogw
