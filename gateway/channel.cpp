#include "gateway/channel.h"

#include "context/statistics_count.h"
#include "context/turn_queue.h"
#include "gateway/active_set.h"
#include "gateway/channel_exchange.h"
#include "gateway/frame.h"
#include "gateway/pauses.h"
#include "gateway/replies.h"
#include "gateway/requests.h"
#include "gateway/socket_io.h"
#include "gateway/socket_slot.h"
#include "host/qivpro.h"
#include "platform/platform.h"

namespace krogw {
namespace {

void InstanceName(const DriverContext& context, char (&name)[kInstanceNameBytes]) {
    int32_t plug = 0;
    int32_t serial = 0;
    QivGetPlugSerNum(context.client, &plug, &serial);
    FormatInstanceName(context.driver_number, serial, name);
}

// A non-blocking connect only starts; the second one tells whether it was made.
bool Connect(PlatformSocket socket, const char* address_text) {
    PlatformSocketConnect(socket, address_text, kGatewayPort);
    PlatformSleepMs(CurrentGatewayPauses().connect_settle_ms);
    return PlatformSocketConnect(socket, address_text, kGatewayPort) != ConnectOutcome::Failed;
}

void LogConnectFailureOnce(DriverContext& context, const char* address_text) {
    if (context.connect_failure_logged.exchange(1) == 0) {
        err(kLogError, "KroGW : Connection failed (Gateway %s)", address_text);
    }
}

// Sends the open-channel request on the connected socket and judges the reply. Its
// lines, like the close exchange's, keep "kroGW : " as hosts' log filters know it.
bool Announce(PlatformSocket socket, uint8_t channel_type, std::atomic<uint16_t>& channel_id_slot,
              DriverContext& context) {
    char name[kInstanceNameBytes];
    InstanceName(context, name);
    uint8_t message[kRequestBufferBytes];
    BuildOpenChannelRequest(channel_type, name, message, sizeof message);
    if (!GwSend(socket, message, sizeof message, context)) {
        err(kLogError, "kroGW : Fail to send Channel type msg");
        return false;
    }
    if (!GwRecvReply(socket, message, sizeof message, context, kOpOpenChannel)) {
        err(kLogError, "kroGW : Fail to recv Channel type msg (KRO#%d)", context.driver_number);
        return false;
    }
    const OpenChannelReply reply = JudgeOpenChannelReply(message, sizeof message, channel_type);
    switch (reply.verdict) {
        case OpenChannelVerdict::Refused:
            err(kLogError, "kroGW : Fail to recv Channel type msg (%d)",
                static_cast<int>(reply.result_code));
            return false;
        case OpenChannelVerdict::TypeMismatch:
            err(kLogError, "kroGW : Recv Ch Id %d - not match", reply.channel_type);
            return false;
        case OpenChannelVerdict::TooShort:
            err(kLogError, "kroGW : Channel type reply too short");
            return false;
        case OpenChannelVerdict::Accepted:
            break;
    }
    channel_id_slot.store(reply.channel_id);
    return true;
}

// From its open-channel exchange on, the socket's traffic counts for the gateway whose
// slot it is to enter.
void NoteSlotSocket(DriverContext& context, const SocketSlot& slot, PlatformSocket socket) {
    for (const uint8_t gateway : {kPrimaryGateway, kSecondaryGateway}) {
        const auto slots = SocketsOf(context, gateway).Slots();
        for (size_t channel = 0; channel < slots.size(); ++channel) {
            if (slots[channel] == &slot) {
                NoteChannelSocket(context, gateway, static_cast<int>(channel), socket);
            }
        }
    }
}

// A socket that never entered a slot: nobody else holds it.
void CloseUnpublished(DriverContext& context, PlatformSocket socket) {
    ForgetChannelSocket(context, socket);
    PlatformSocketShutdown(socket);
    PlatformSocketClose(socket);
}

// The close request and its reply, under the sync channel's turn so that the command
// thread never takes the reply. False when the sockets are to stay open.
bool ExchangeClose(uint16_t channel_id, const SocketSlot& sync_slot, DriverContext& context) {
    const int32_t wait_ms = SyncTurnWaitMs(context);
    const QueuedTurn turn(context.command_busy, wait_ms);
    if (!turn.taken()) {
        err(kLogTrace, "kroGW : Sync channel busy for %d ms, close not sent",
            static_cast<int>(wait_ms));
        return false;
    }
    char name[kInstanceNameBytes];
    InstanceName(context, name);
    uint8_t message[kRequestBufferBytes];
    const SocketLease lease(context, sync_slot);
    const PlatformSocket sync_socket = lease.socket();
    GwDiscardReadable(sync_socket, message, sizeof message);
    BuildCloseChannelRequest(channel_id, name, message, sizeof message);
    if (!GwSend(sync_socket, message, sizeof message, context)) {
        err(kLogTrace, "kroGW : Fail to send Close type msg");
        return false;
    }
    if (!GwRecvReply(sync_socket, message, sizeof message, context, kOpCloseChannel)) {
        err(kLogTrace, "kroGW : Fail to Close Channel Id %d", channel_id);
        return true;
    }
    const ReplyJudgement reply = JudgeCloseChannelReply(message, sizeof message);
    if (reply.verdict == ReplyVerdict::Refused) {
        err(kLogTrace, "kroGW : Fail close Channel rc=%X", reply.result_code);
        return false;
    }
    if (reply.verdict == ReplyVerdict::Accepted) {
        err(kLogError, "kroGW : Close Channel Id %d Pass", channel_id);
    } else {
        err(kLogTrace, "kroGW : Fail to Close Channel Id %d", channel_id);
    }
    return true;
}

}  // namespace

bool OpenChannel(uint8_t channel_type, SocketSlot& socket_slot, const char* address_text,
                 std::atomic<uint16_t>& channel_id_slot, DriverContext& context) {
    const PlatformSocket socket = PlatformSocketOpen();
    if (socket == kInvalidSocket) {
        err(kLogError, "KroGW : Fail to Open Socket for Gateway");
        return false;
    }
    if (!PlatformSocketSetLingerZero(socket)) {
        err(kLogError, "KroGW : Unable to set the Sock to NO_LINGER");
    }
    // The receive path relies on sockets that never block.
    PlatformSocketSetNonBlocking(socket);
    if (!Connect(socket, address_text)) {
        LogConnectFailureOnce(context, address_text);
        CloseUnpublished(context, socket);
        return false;
    }
    if (context.keepalive_idle_s > 0 &&
        !PlatformSocketSetKeepAlive(socket, context.keepalive_idle_s)) {
        err(kLogError, "KroGW : Keepalive not set on a gateway channel");
    }
    NoteSlotSocket(context, socket_slot, socket);
    if (!Announce(socket, channel_type, channel_id_slot, context)) {
        CloseUnpublished(context, socket);
        return false;
    }
    socket_slot.store(socket);
    return true;
}

bool CloseChannel(SocketSet& sockets, DriverContext& context) {
    if (!ExchangeClose(sockets.channel_id.load(), sockets.sync, context)) {
        return false;
    }
    for (const uint8_t gateway : {kPrimaryGateway, kSecondaryGateway}) {
        if (&SocketsOf(context, gateway) == &sockets) {
            NoteGatewayClosed(context, gateway);
        }
    }
    for (SocketSlot* slot : sockets.Slots()) {
        CloseSocketSlot(context, *slot);
    }
    return true;
}

}  // namespace krogw
