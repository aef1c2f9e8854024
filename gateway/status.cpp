#include "gateway/status.h"

#include "gateway/channel_exchange.h"
#include "gateway/frame.h"
#include "gateway/replies.h"
#include "gateway/requests.h"
#include "gateway/socket_io.h"
#include "host/qivpro.h"
#include "include/krogw/abi.h"

namespace krogw {
namespace {

constexpr int32_t kHostIsStandby = 1;
constexpr uint32_t kModeBits = 5;  // bits 0 and 2 of the status word

}  // namespace

ExchangeResult SetGatewayMode(DriverContext& context, uint16_t channel_id, PlatformSocket socket,
                              uint8_t mode) {
    int32_t backup_mode = 0;
    QivGetBackupMode(context.client, &backup_mode);
    if (backup_mode == kHostIsStandby) {
        return kExchangeDone;
    }
    uint8_t* const message = context.mode_message;
    GwDiscardReadable(socket, message, sizeof context.mode_message);
    BuildSetModeRequest(channel_id, mode, message, sizeof context.mode_message);
    if (!GwSend(socket, message, sizeof context.mode_message, context)) {
        err(kLogError, "KroGW : Fail to change the GateWay Mode");
        return kExchangeFailed;
    }
    if (!GwRecvReply(socket, message, sizeof context.mode_message, context, kOpSetMode)) {
        err(kLogError, "KroGW : Fail to read gateway status (KRO #%d)", context.driver_number);
        return kExchangeFailed;
    }
    const ReplyJudgement reply = JudgeSetModeReply(message, sizeof context.mode_message);
    if (reply.verdict == ReplyVerdict::Refused) {
        err(kLogError, "KroGW : Fail to send Mode cmd (%d)", static_cast<int>(reply.result_code));
    }
    return reply.verdict == ReplyVerdict::Accepted ? kExchangeDone : kExchangeRefused;
}

ExchangeResult QueryGatewayStatus(DriverContext& context, int32_t unit, uint16_t* status_word) {
    const bool secondary = unit == SecondaryGatewayUnit;
    SocketSet& sockets = secondary ? context.secondary_sockets : context.primary_sockets;
    const ChannelExchange exchange(context, sockets.status);
    if (exchange.busy()) {
        return kExchangeRefused;
    }
    const PlatformSocket socket = exchange.socket();
    const uint16_t channel_id = sockets.channel_id.load();

    uint8_t message[kRequestBufferBytes];
    GwDiscardReadable(socket, message, sizeof message);
    BuildGatewayStatusRequest(channel_id, message, sizeof message);
    if (!GwSend(socket, message, sizeof message, context)) {
        err(kLogError, "KroGW : Fail to send status command (KRO#%d)", context.driver_number);
        return kExchangeFailed;
    }
    if (!GwRecvReply(socket, message, sizeof message, context, kOpGatewayStatus)) {
        err(kLogError, "KroGW : Fail to read gateway status (KRO #%d)", context.driver_number);
        return kExchangeFailed;
    }
    const GatewayStatusReply reply = DecodeGatewayStatusReply(message, sizeof message);
    if (reply.judgement.verdict == ReplyVerdict::Refused) {
        err(kLogError, "KroGW : Fail to send GW status msg, rc = %d",
            static_cast<int>(reply.judgement.result_code));
    }
    if (reply.judgement.verdict != ReplyVerdict::Accepted) {
        return kExchangeRefused;
    }
    const auto status = static_cast<uint16_t>(reply.status_word);
    *status_word = status;
    const auto mode_value = static_cast<int32_t>(status & kModeBits);
    if (unit == PrimaryGatewayUnit) {
        context.gateway_ok.fetch_or(1);
        context.primary_mode_value.store(mode_value);
    } else if (secondary) {
        context.gateway_ok.fetch_or(2);
        context.secondary_mode_value.store(mode_value);
    }
    return kExchangeDone;
}

ExchangeResult QueryRtuChannelStatus(DriverContext& context, uint16_t rtu,
                                     uint16_t (&values)[kRtuChannelStatusValues]) {
    const ChannelExchange exchange(context, context.active_sockets.status);
    if (exchange.busy()) {
        return kExchangeRefused;
    }
    const PlatformSocket socket = exchange.socket();
    uint8_t message[kRequestBufferBytes];
    GwDiscardReadable(socket, message, sizeof message);
    BuildRtuChannelStatusRequest(context.active_sockets.channel_id.load(), rtu, message,
                                 sizeof message);
    if (!GwSend(socket, message, sizeof message, context)) {
        err(kLogError, "KroGW : Fail to send Get CH Status command");
        return kExchangeFailed;
    }
    if (!GwRecvReply(socket, message, sizeof message, context, kOpRtuChannelStatus)) {
        err(kLogError, "KroGW : Fail to read RTU CH status");
        return kExchangeFailed;
    }
    const RtuChannelStatusReply reply = DecodeRtuChannelStatusReply(message, sizeof message);
    if (reply.judgement.verdict == ReplyVerdict::Refused) {
        err(kLogError, "KroGW : Fail to send RTU CH status msg, rc = %d",
            static_cast<int>(reply.judgement.result_code));
    }
    if (reply.judgement.verdict != ReplyVerdict::Accepted) {
        return kExchangeRefused;
    }
    for (int index = 0; index < kRtuChannelStatusValues; ++index) {
        values[index] = reply.values[index];
    }
    return kExchangeDone;
}

}  // namespace krogw
