// Poll replies: the bit cursor, the row-list form, result codes and RTU states, and
// data that the message's length cuts short.
#include <gmock/gmock.h>

#include "exchange/error_gate.h"
#include "exchange/poll_reply.h"
#include "tests/exchange/decoder_fixture.h"

namespace krogw::test {
namespace {

using PollReplyTest = DecoderFixture;
using ::testing::ElementsAre;

void Decode(DriverContext& context, const Bytes& message, uint32_t type = kOpPoll) {
    DecodePollReply(context, message.data(), message.size(), type);
}

TEST_F(PollReplyTest, BitsRunOnAcrossColumnsAndRows) {
    Layout("3=1,1,1,0");
    int32_t gates[4][3];
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 3; ++column) {
            gates[row][column] = Gate(12, 5, column, row);
        }
    }
    context_->polls_in_flight = 2;
    // Rows 0-2 columns 0-2 and row 2 column 0..1 in the first byte, the rest after.
    Decode(*context_, PollReply(kOpPoll, {12, 5, 3, 0, 4}, {0b10110011, 0b1'010'0000}));
    const int expected[4][3] = {{1, 0, 1}, {1, 0, 0}, {1, 1, 1}, {0, 1, 0}};
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 3; ++column) {
            EXPECT_EQ(Value(gates[row][column]), expected[row][column]) << row << "," << column;
        }
    }
    EXPECT_EQ(context_->polls_in_flight, 1);
    EXPECT_EQ(context_->rtu_state[12], RtuActive);
}

TEST_F(PollReplyTest, WiderElementsRealignAndBitsContinueInTheirByte) {
    Layout("4=1,2,1,0");
    const int32_t r0[] = {Gate(7, 1, 0, 10), Gate(7, 1, 1, 10), Gate(7, 1, 2, 10)};
    const int32_t r1[] = {Gate(7, 1, 0, 11), Gate(7, 1, 1, 11), Gate(7, 1, 2, 11)};
    Decode(*context_,
           PollReply(kOpPoll, {7, 1, 4, 10, 2}, {0x80, 0x12, 0x34, 0x40, 0xAB, 0xCD, 0x80}));
    EXPECT_EQ(Value(r0[0]), 1);
    EXPECT_EQ(Value(r0[1]), 0x1234);
    EXPECT_EQ(Value(r0[2]), 0);
    EXPECT_EQ(Value(r1[0]), 1);
    EXPECT_EQ(Value(r1[1]), 0xABCD);
    EXPECT_EQ(Value(r1[2]), 1);
}

TEST_F(PollReplyTest, RowListNamesItsRowsAndEndsWith255OrTheLastPolledRow) {
    Layout("6=2,3,0");
    const int32_t row3 = Gate(9, 2, 1, 3, 0, 1.0);
    const int32_t row4 = Gate(9, 2, 0, 4);
    const int32_t row5 = Gate(9, 2, 0, 5);
    const int32_t row7 = Gate(9, 2, 0, 7);
    const Bytes three_and_seven = {3, 0, 1, 0x12, 0x34, 0x56, 0x78, 7, 0, 7, 0, 0, 0, 0, 0xFF};
    Decode(*context_, PollReply(kOpPollRowList, {9, 2, 6, 0, 10}, three_and_seven), kOpPollRowList);
    EXPECT_EQ(Value(row3), 0x12345678);
    EXPECT_EQ(Value(row7), 7);

    // Of rows 0-4, row 4 is the last: what follows it is not read.
    const Bytes four_then_more = {4, 0, 4, 0, 0, 0, 0, 5, 0, 5, 0, 0, 0, 0};
    Decode(*context_, PollReply(kOpPollRowList, {9, 2, 6, 0, 5}, four_then_more), kOpPollRowList);
    EXPECT_EQ(Value(row4), 4);
    EXPECT_EQ(Value(row5), -1);
}

TEST_F(PollReplyTest, ResultCodesSetTheRtuStateAndTheErrorGate) {
    Layout("3=2,0");
    const int32_t error_gate = ErrorGate();
    const int32_t value = Gate(20, 1, 0, 0);
    struct Case {
        uint32_t code;
        uint8_t state_before;
        uint8_t sign_rtu_on_fail;
        uint8_t state_after;
        size_t failures_told;
        bool stored;
    };
    const Case cases[] = {
        {0, RtuNotConfirmed, 1, RtuActive, 0, true},
        {129, RtuActive, 1, RtuCommunicationFailed, 1, false},
        {129, RtuActive, 0, RtuCommunicationFailed, 0, false},
        {5, RtuActive, 1, RtuActive, 0, false},
        {0, RtuDisabled, 1, RtuDisabled, 0, false},
        {129, RtuDisabled, 1, RtuDisabled, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.code << " from state " << int{c.state_before});
        hostsim::Reset();
        ErrorGate();
        Gate(20, 1, 0, 0);
        context_->rtu_state[20] = c.state_before;
        context_->sign_rtu_on_fail = c.sign_rtu_on_fail;
        context_->polls_in_flight = 1;
        context_->last_error_code = 1;
        Decode(*context_, PollReply(kOpPoll, {20, 1, 3, 0, 1, c.code}, {0, 42}));
        EXPECT_EQ(context_->rtu_state[20], c.state_after);
        EXPECT_EQ(hostsim::RtuFailures().size(), c.failures_told);
        EXPECT_EQ(Value(value), c.stored ? 42 : -1);
        EXPECT_EQ(Value(error_gate), c.code);
        EXPECT_EQ(context_->polls_in_flight, 0);
        const auto errors = Logged(kLogError);
        if (c.code != 0 && c.state_before != RtuDisabled) {
            EXPECT_THAT(errors, ElementsAre("KROGW : Got Poll error " + std::to_string(c.code) +
                                            ",Rtu 20,Tbl 1"));
        } else {
            EXPECT_THAT(errors, ElementsAre());
        }
    }
}

TEST_F(PollReplyTest, ErrorGateIsWrittenOnlyWhenTheCodeChanges) {
    Layout("3=2,0");
    const int32_t error_gate = ErrorGate();
    for (const uint32_t code : {0u, 0u, 5u}) {
        Decode(*context_, PollReply(kOpPoll, {20, 1, 3, 0, 0, code}, {}));
    }
    EXPECT_EQ(hostsim::GateValueOf(error_gate)->updates, 2u);
    EXPECT_EQ(Value(error_gate), 5);

    // A first code 1 after start-up is not written: the gate holds 1 already.
    ResetContext(1, *context_);
    SetErrorGate(*context_, 1);
    EXPECT_EQ(hostsim::GateValueOf(error_gate)->updates, 2u);
}

TEST_F(PollReplyTest, WithoutAnErrorGateTheDriverStopsLooking) {
    SetErrorGate(*context_, 7);
    const int32_t late = ErrorGate();
    SetErrorGate(*context_, 8);
    EXPECT_THAT(Logged(kLogError), ElementsAre("KroGW : Can not find gate !ERROR"));
    EXPECT_EQ(Value(late), -1);
}

TEST_F(PollReplyTest, OnlyElementsWhollyInsideTheMessageAreStored) {
    Layout("3=2,0");
    ErrorGate();
    int32_t gates[4];
    for (int row = 0; row < 4; ++row) {
        gates[row] = Gate(12, 1, 0, row);
    }
    const Bytes reply = PollReply(kOpPoll, {12, 1, 3, 0, 4}, {0, 10, 0, 11, 0, 12, 0, 13});

    // total_length says 57: rows 0 and 1 and one byte of row 2; the buffer holds more.
    Bytes lying = reply;
    PutU16(&lying[16], 57);
    Decode(*context_, lying);
    EXPECT_EQ(Value(gates[1]), 11);
    EXPECT_EQ(Value(gates[2]), -1);
    EXPECT_THAT(Logged(kLogError),
                ElementsAre("KroGW : Message type 101 from Rtu 12 ends inside its data at byte 56 "
                            "- rest dropped"));

    // Fewer bytes received than total_length says: the same rule at the buffer's end.
    hostsim::ClearLog();
    DecodePollReply(*context_, reply.data(), reply.size() - 1, kOpPoll);
    EXPECT_EQ(Value(gates[2]), 12);
    EXPECT_EQ(Value(gates[3]), -1);
    // Too short to carry the poll it answers: only the slot is released.
    context_->polls_in_flight = 1;
    DecodePollReply(*context_, reply.data(), 51, kOpPoll);
    EXPECT_EQ(context_->polls_in_flight, 0);
}

TEST_F(PollReplyTest, RowsPastTheLastAddressableRowAreNotStoredInOtherColumns) {
    Layout("3=2,0");
    const int32_t column1_row0 = Gate(12, 1, 1, 0);
    const int32_t row255 = Gate(12, 1, 0, 255);
    Decode(*context_, PollReply(kOpPoll, {12, 1, 3, 255, 2}, {0, 1, 0, 2}));
    EXPECT_EQ(Value(row255), 1);
    EXPECT_EQ(Value(column1_row0), -1);  // row 256 would alias column 1, row 0
}

}  // namespace
}  // namespace krogw::test
