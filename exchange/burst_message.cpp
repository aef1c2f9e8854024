#include "exchange/burst_message.h"

#include "context/counters.h"
#include "exchange/burst_report.h"
#include "exchange/message_view.h"
#include "exchange/poll_reply.h"
#include "gateway/frame.h"
#include "host/qivpro.h"

namespace krogw {
namespace {

bool IsPollReply(uint32_t type) {
    return type == kOpPoll || type == kOpPollRowList;
}

}  // namespace

BurstMessageOutcome TakeBurstChannelMessage(DriverContext& context, const uint8_t* buffer,
                                            size_t received, int32_t& backup_mode) {
    QivGetBackupMode(context.client, &backup_mode);
    const MessageView message = ViewMessage(buffer, received);
    if (backup_mode == 1) {
        // A standby host stores nothing, but a poll's reply is all that frees its slot:
        // kept, the slots of polls sent while standby would hold the queue for good.
        if (message.Holds(0, kGwBodyOffset) &&
            IsPollReply(GwMessageType(GetU32(buffer + kGwOpcodeOffset)))) {
            DecrementNotBelowZero(context.polls_in_flight);
        }
        return BurstMessageOutcome::Dropped;
    }
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
    if (IsPollReply(type)) {
        DecodePollReply(context, buffer, message.end, type);
        return BurstMessageOutcome::Taken;
    }
    switch (type) {
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
