// Poll requests without a gateway: the failed send, the full queue, a drained poll
// that must wait again, and the RTU status gate when the gateway does not answer.
#include <gtest/gtest.h>

#include "address/subaddress.h"
#include "context/poll_queue.h"
#include "driver/handlers.h"
#include "exchange/polls.h"
#include "tests/exchange/decoder_fixture.h"

namespace krogw::test {
namespace {

constexpr int32_t kRtu = 12;

class PollsTest : public DecoderFixture {
  protected:
    uint8_t Poll(int32_t first_row) {
        gate_.address = GateAddress{kRtu, PollRows, PackPoll({5, 3, first_row, 4}), 255, 16};
        gate_.value_buffer = value_;
        HostRequest request{context_.get(), kReadGate, 1, 0, &gate_};
        return static_cast<uint8_t>(ReadGate(request));
    }

    GateIoArguments gate_{};
    uint8_t value_[4] = {0, 0, 0xEE, 0xEE};
};

TEST_F(PollsTest, AFailedSendFreesItsSlotAndTellsTheHostOnlyWhenSignRtuIsOn) {
    context_->rtu_state[kRtu] = RtuActive;
    for (const uint8_t sign : {uint8_t{1}, uint8_t{0}}) {
        hostsim::Reset();
        context_->sign_rtu_on_fail = sign;
        EXPECT_EQ(Poll(0), sign == 1 ? kResultFailed : kResultNotDone) << int{sign};
        EXPECT_EQ(context_->polls_in_flight, 0);
        EXPECT_EQ(Logged(kLogError, "KroGW : Fail to send Poll command (Kro#1)"), 1);
        EXPECT_EQ(hostsim::RtuFailures().size(), sign == 1 ? 1u : 0u);
        EXPECT_EQ(context_->rtu_state[kRtu], RtuActive) << "the state is the decoder's to change";
        EXPECT_EQ(value_[2], 0xEE) << "the value word is cleared only for a poll sent";
    }
    EXPECT_EQ(Logged(kLogTrace, "KroGW : Polling form Rtu 12,Tbl 5,Row 0,No 4,Col 0,No 0"), 1);
}

TEST_F(PollsTest, APollBeyondAFullQueueIsDroppedWithAWarning) {
    context_->poll_buffer_length = 99;
    context_->polls_in_flight = 99;
    context_->rtu_state[kRtu] = RtuCommunicationFailed;
    for (int queued = 0; queued < 9901; ++queued) {
        ASSERT_EQ(Poll(queued % 200), RtuCommunicationFailed);
    }
    EXPECT_EQ(Poll(0), kResultFailed);
    EXPECT_EQ(context_->poll_queue_count, 9901);
    EXPECT_EQ(Logged(kLogError, "KroGW : WARNING !!! - Internal Polling buffer if Full"), 1);
}

TEST_F(PollsTest, ADrainedPollThatFindsTheLimitReachedGoesBehindTheOthers) {
    context_->polls_in_flight = 10;
    Poll(1);
    Poll(2);
    DrainPollQueue(*context_);
    PollQueueEntry first{};
    PollQueueEntry second{};
    ASSERT_TRUE(DequeuePoll(*context_, &first));
    ASSERT_TRUE(DequeuePoll(*context_, &second));
    EXPECT_EQ(UnpackPoll(first.subaddress).first_row, 2);
    EXPECT_EQ(UnpackPoll(second.subaddress).first_row, 1);
    EXPECT_EQ(second.opcode, static_cast<int32_t>(kOpPoll));
    EXPECT_EQ(second.rtu, kRtu);
}

TEST_F(PollsTest, AnRtuStatusGateReadsZeroAndTheRtuIsUnconfirmedWhenTheGatewayIsSilent) {
    context_->rtu_state[kRtu] = RtuActive;
    gate_.address = GateAddress{RtuSpecialUnit, RtuStatus, kRtu, 255, 16};
    gate_.value_buffer = value_;
    HostRequest request{context_.get(), kReadGate, 1, 0, &gate_};
    EXPECT_EQ(ReadGate(request), 0);
    EXPECT_EQ(value_[2] | value_[3] << 8, 0);
    EXPECT_EQ(context_->rtu_state[kRtu], RtuNotConfirmed);

    context_->rtu_state[kRtu] = RtuDisabled;
    value_[2] = 0xFF;
    EXPECT_EQ(ReadGate(request), 0);
    EXPECT_EQ(value_[2] | value_[3] << 8, 0);
    EXPECT_EQ(context_->rtu_state[kRtu], RtuNotConfirmed) << "a disabled RTU too";
}

}  // namespace
}  // namespace krogw::test
