// The burst channel's messages: what a standby host, a bad delivery status and each
// message type do before and instead of decoding.
#include <gmock/gmock.h>

#include "exchange/burst_message.h"
#include "tests/exchange/decoder_fixture.h"

namespace krogw::test {
namespace {

using BurstMessageTest = DecoderFixture;
using ::testing::ElementsAre;

BurstMessageOutcome Take(DriverContext& context, const Bytes& message) {
    int32_t backup_mode = 0;
    return TakeBurstChannelMessage(context, message.data(), message.size(), backup_mode);
}

// A standby host stores no value, but each poll reply still frees its poll's slot, so
// the polls sent while standby do not hold the queue once the host is active.
TEST_F(BurstMessageTest, StandbyHostDropsValuesButFreesPollSlots) {
    Layout("3=2,0");
    const int32_t gate = Gate(4, 1, 0, 0);
    context_->polls_in_flight = 3;
    hostsim::SetBackupMode(1);
    const Bytes reply = PollReply(kOpPoll, {4, 1, 3, 0, 1}, {0, 9});
    EXPECT_EQ(Take(*context_, reply), BurstMessageOutcome::Dropped);
    EXPECT_EQ(context_->polls_in_flight, 2);
    EXPECT_EQ(Value(gate), -1);
    const Bytes report = BurstReport({});
    EXPECT_EQ(Take(*context_, report), BurstMessageOutcome::Dropped);
    EXPECT_EQ(context_->polls_in_flight, 2) << "a burst report frees no poll slot";

    hostsim::SetBackupMode(0);
    EXPECT_EQ(Take(*context_, reply), BurstMessageOutcome::Taken);
    EXPECT_EQ(context_->polls_in_flight, 1);
    EXPECT_EQ(Value(gate), 9);
}

TEST_F(BurstMessageTest, StatusAndTypeDecideWhatHappens) {
    struct Case {
        uint32_t status;
        uint32_t opcode;
        uint16_t polls_in_flight;
        BurstMessageOutcome outcome;
        uint16_t polls_after;
        const char* error;  // the one level-32 line, or nullptr
    };
    const Case cases[] = {
        {0x1000001, kOpPoll, 2, BurstMessageOutcome::Dropped, 2,
         "KROGW : WARNING !!! - GateWay Msg queue is Full"},
        {0, kOpPoll, 2, BurstMessageOutcome::Dropped, 2, "KroGW : Recv bad burst status 0"},
        {1, kGwReplyBit | kOpSendData, 2, BurstMessageOutcome::Taken, 2,
         "KroGW : Got response to Cmd in Burst thread"},
        {1, 0x1234, 2, BurstMessageOutcome::UnknownType, 1,
         "KroGW : Recv Unknown Burst code 1234 - flush buffer and reduce cnt, PollCnt=8"},
        {1, kGwReplyBit | 0x1234, 0, BurstMessageOutcome::UnknownType, 0,
         "KroGW : Recv Unknown Burst code 1234 - flush buffer and reduce cnt, PollCnt=7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        hostsim::ClearLog();
        context_->polls_in_flight = c.polls_in_flight;
        context_->poll_queue_count = 7;
        Bytes message(36);
        GwFrame frame = GwRequestFrame(c.opcode, 0, 0);
        frame.header.status = c.status;
        WriteGwFrame(frame, message.data(), message.size());
        EXPECT_EQ(Take(*context_, message), c.outcome);
        EXPECT_EQ(context_->polls_in_flight, c.polls_after);
        EXPECT_THAT(Logged(kLogError), ElementsAre(c.error));
    }
}

}  // namespace
}  // namespace krogw::test
