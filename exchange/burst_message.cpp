#include "exchange/burst_message.h"

#include "context/counters.h"
#include "exchange/burst_report.h"
#include "exchange/message_view.h"
#include "exchange/poll_reply.h"
#include "gateway/frame.h"
#include "host/qivpro.h"

namespace krogw {

BurstMessageOutcome TakeBurstChannelMessage(DriverContext& context, const uint8_t* buffer,
                                            size_t received, int32_t& backup_mode) {
    QivGetBackupMode(context.client, &backup_mode);
    if (backup_mode == 1) {
        return BurstMessageOutcome::Dropped;
    }
    const MessageView message = ViewMessage(buffer, received);
    if (!message.Holds(0, kGwBodyOffset)) {
        err(kLogError, "KroGW : Burst channel message of %d bytes has no command block - dropped",
            static_cast<int>(message.end));
        return BurstMessageOutcome::Dropped;
    }
    const uint32_t status = GetU32(buffer + kGwStatusOffset);
    if (status == kGwStatusQueueFull) {
        err(kLogError, "KROGW : WARNING !!! - GateWay Msg queue is Full");
        return BurstMessageOutcome::Dropped;
    }
    if (status != kGwStatusNormal) {
        err(kLogError, "KroGW : Recv bad burst status %X", status);
        return BurstMessageOutcome::Dropped;
    }
    const uint32_t type = GwMessageType(GetU32(buffer + kGwOpcodeOffset));
    err(kLogTrace, "KroGW : Got Burst Type %X", type);
    switch (type) {
        case kOpPoll:
        case kOpPollRowList:
            DecodePollReply(context, buffer, message.end, type);
            return BurstMessageOutcome::Taken;
        case kOpBurstReport:
            DecodeBurstReport(context, buffer, message.end);
            return BurstMessageOutcome::Taken;
        case kOpSendData:
            err(kLogError, "KroGW : Got response to Cmd in Burst thread");
            return BurstMessageOutcome::Taken;
        default:
            DecrementNotBelowZero(context.polls_in_flight);
            err(kLogError,
                "KroGW : Recv Unknown Burst code %X - flush buffer and reduce cnt, PollCnt=%d",
                type, context.polls_in_flight + context.poll_queue_count);
            return BurstMessageOutcome::UnknownType;
    }
}

}  // namespace krogw
