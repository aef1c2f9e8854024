// Polls and burst reports from the simulated gateway through the burst thread into
// the stand-in host's gates, the poll queue at the in-flight limit, and the thread's
// end when the host ends the client.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "tests/e2e/burst_thread_fixture.h"
#include "tests/support/test_net.h"

namespace krogw::test {
namespace {

using namespace std::chrono_literals;

constexpr uint16_t kRtu = 7;
constexpr uint8_t kTable = 5;

class BurstThreadTest : public BurstThreadFixture {
  protected:
    void SetUp() override {
        // Time stamps are local time; UTC makes their seconds known constants.
        setenv("TZ", "UTC0", 1);
        tzset();
        BurstThreadFixture::SetUp();
    }
};

TEST_F(BurstThreadTest, PolledRowsLandInTheTablesGatesCookedByTheHost) {
    gwsim::Gateway& gateway = Gateway(TestAddress(70, 1));
    TableType(1, "2,3,1,0");
    gateway.DefineTable(kRtu, kTable, 1, 6);
    for (uint32_t row = 0; row < 6; ++row) {
        gateway.SetValue(kRtu, kTable, static_cast<int>(row), 0, 1000 + row);
        gateway.SetValue(kRtu, kTable, static_cast<int>(row), 1, 0x12345678u + row);
        gateway.SetValue(kRtu, kTable, static_cast<int>(row), 2, row % 2);
    }
    int32_t gates[6][3];
    for (int row = 0; row < 6; ++row) {
        gates[row][0] = Gate(kRtu, kTable, 0, row, 1, 0.5 * kUpperHalf, 10.0);
        gates[row][1] = Gate(kRtu, kTable, 1, row, 1, 1.0);
        gates[row][2] = Gate(kRtu, kTable, 2, row, 1, kUpperHalf);
    }
    Connect();
    StartBurstThread();

    // Rows 1-4 by the plain form: the RTU is not confirmed until its reply comes.
    EXPECT_EQ(Poll(kOpPoll, kRtu, {kTable, 1, 1, 4}), RtuNotConfirmed);
    EXPECT_EQ(value_[2] | value_[3] << 8, 0) << "a sent poll clears its gate's value word";
    ASSERT_TRUE(WaitFor([&] { return Value(gates[4][2]) >= 0; })) << LogText();
    for (int row = 1; row <= 4; ++row) {
        EXPECT_EQ(Value(gates[row][0]), 0.5 * (1000 + row) + 10.0) << row;
        EXPECT_EQ(Value(gates[row][1]), 0x12345678 + row) << row;
        EXPECT_EQ(Value(gates[row][2]), row % 2) << row;
    }
    EXPECT_EQ(Value(gates[0][0]), -1.0) << "row 0 was not polled";
    EXPECT_EQ(Value(gates[5][0]), -1.0) << "row 5 was not polled";
    EXPECT_EQ(context_->rtu_state[kRtu], RtuActive);
    EXPECT_TRUE(WaitFor([&] { return context_->polls_in_flight == 0; }));

    // The numbered-rows form names each row it carries.
    gateway.SetValue(kRtu, kTable, 5, 0, 4321);
    EXPECT_EQ(Poll(kOpPollRowList, kRtu, {kTable, 1, 0, 6}), RtuActive);
    ASSERT_TRUE(WaitFor([&] { return Value(gates[5][0]) == 0.5 * 4321 + 10.0; })) << LogText();
    EXPECT_EQ(Value(gates[0][1]), 0x12345678u);

    const auto sent = gateway.WaitForRequest(kOpPoll, 1s);
    ASSERT_TRUE(sent.has_value());
    EXPECT_EQ(sent->channel_type, gwsim::kBurstChannelType);
}

TEST_F(BurstThreadTest, BurstReportsCarryTheRtusTimeStamps) {
    gwsim::Gateway& gateway = Gateway(TestAddress(70, 2));
    TableType(2, "2,4,1,0");
    TableType(3, "2,5,1,1,0");
    gateway.DefineTable(kRtu, kTable, 2, 2);
    gateway.DefineTable(kRtu, kTable + 1, 3, 1);
    gateway.SetValue(kRtu, kTable, 1, 0, 77);
    gateway.SetTimeStamp(kRtu, kTable, 1, {2004, 11, 7, 14, 30, 45, 500});
    gateway.SetValue(kRtu, kTable + 1, 0, 0, 88);
    gateway.SetTimeStamp(kRtu, kTable + 1, 0, {1975, 11, 7, 14, 30, 31, 300});
    const int32_t full = Gate(kRtu, kTable, 0, 1, 2);
    const int32_t short_form = Gate(kRtu, kTable + 1, 0, 0, 3);
    Connect();
    StartBurstThread();
    ASSERT_TRUE(gateway.WaitForChannels(gwsim::kBurstChannelType, 1, 1s));
    context_->rtu_state[kRtu] = RtuCommunicationFailed;

    ASSERT_EQ(gateway.SendBurst({gwsim::BurstSection::Rows(kRtu, kTable, 1, 1),
                                 gwsim::BurstSection::Rows(kRtu, kTable + 1, 0, 1)}),
              1);
    ASSERT_TRUE(WaitFor([&] { return Value(short_form) >= 0; })) << LogText();
    const auto stamped = hostsim::GateValueOf(full);
    ASSERT_TRUE(stamped.has_value());
    EXPECT_EQ(stamped->value, 77);
    EXPECT_EQ(stamped->seconds, 1099837845);  // 2004-11-07 14:30:45
    EXPECT_EQ(stamped->milliseconds, 500);
    const auto short_stamped = hostsim::GateValueOf(short_form);
    EXPECT_EQ(short_stamped->value, 88);
    EXPECT_EQ(short_stamped->seconds, 184602631);  // 1975-11-07 14:30:31
    EXPECT_EQ(short_stamped->milliseconds, 300);
    EXPECT_EQ(context_->rtu_state[kRtu], RtuActive) << "a report shows the RTU alive";
    EXPECT_EQ(context_->polls_in_flight, 0) << "a report frees no poll slot";
}

// Rows of four 16-bit values: the table and row bytes, then 8 bytes; rows from byte 52.
TEST_F(BurstThreadTest, ACutOrOverstatedReportStoresOnlyTheElementsThatArrivedWhole) {
    gwsim::Gateway& gateway = Gateway(TestAddress(70, 3));
    TableType(4, "2,2,2,2,0");
    gateway.DefineTable(kRtu, kTable, 4, 3);
    int32_t gates[3][4];
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 4; ++column) {
            gateway.SetValue(kRtu, kTable, row, column,
                             static_cast<uint32_t>(10 * row + column + 1));
            gates[row][column] = Gate(kRtu, kTable, column, row, 4);
        }
    }
    const int32_t other_rtu = Gate(kRtu + 1, kTable, 0, 0, 4);
    Connect();
    StartBurstThread();
    ASSERT_TRUE(gateway.WaitForChannels(gwsim::kBurstChannelType, 1, 1s));
    const gwsim::BurstReport report{gwsim::BurstSection::Rows(kRtu, kTable, 0, 3)};

    // The section claims 255 bytes of a message of 82: every row is decoded, no more.
    gateway.faults().OverrideByte(kOpBurstReport, 33, 0xFF, 1);
    ASSERT_EQ(gateway.SendBurst(report), 1);
    ASSERT_TRUE(WaitFor([&] { return Value(gates[2][3]) >= 0; })) << LogText();
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 4; ++column) {
            EXPECT_EQ(Value(gates[row][column]), 10 * row + column + 1) << row << column;
        }
    }
    EXPECT_EQ(Value(other_rtu), -1.0);

    // total_length 67: row 0 whole, row 1's column 0 whole, column 1 one byte short.
    for (int column = 0; column < 4; ++column) {
        gateway.SetValue(kRtu, kTable, 0, column, 100);
        gateway.SetValue(kRtu, kTable, 1, column, 200);
        gateway.SetValue(kRtu, kTable, 2, column, 300);
    }
    gateway.faults().OverrideByte(kOpBurstReport, 17, 67, 1);
    ASSERT_EQ(gateway.SendBurst(report), 1);
    ASSERT_TRUE(WaitFor([&] { return Value(gates[1][0]) == 200; })) << LogText();
    std::this_thread::sleep_for(100ms);
    for (int column = 0; column < 4; ++column) {
        EXPECT_EQ(Value(gates[0][column]), 100) << column;
        EXPECT_EQ(Value(gates[2][column]), 21 + column) << "row 2 lies past the message";
    }
    for (const int column : {1, 2, 3}) {
        EXPECT_EQ(Value(gates[1][column]), 11 + column) << "column " << column << " of row 1";
    }
    EXPECT_EQ(Value(other_rtu), -1.0);
}

TEST_F(BurstThreadTest, PollsBeyondTheInFlightLimitWaitAndAreSentInOrder) {
    gwsim::Gateway& gateway = Gateway(TestAddress(70, 4));
    TableType(1, "2,0");
    gateway.DefineTable(kRtu, kTable, 1, 20);
    Connect();
    context_->poll_buffer_length = 10;
    gateway.faults().DropReply(kOpPoll, 10);
    for (int row = 0; row < 10; ++row) {
        EXPECT_EQ(Poll(kOpPoll, kRtu, {kTable, 1, row, 1}), RtuNotConfirmed);
    }
    ASSERT_TRUE(gateway.WaitForRequest(kOpPoll, 1s, 9).has_value());
    context_->rtu_state[kRtu] = RtuCommunicationFailed;
    context_->sign_rtu_on_fail = 0;
    for (const int row : {17, 11, 13}) {
        EXPECT_EQ(Poll(kOpPoll, kRtu, {kTable, 1, row, 1}), RtuNotConfirmed)
            << "a queued poll answers the reported state";
    }
    EXPECT_EQ(context_->polls_in_flight, 10);
    EXPECT_EQ(context_->poll_queue_count, 3);
    EXPECT_EQ(value_[2], 0xEE) << "a queued poll leaves its gate's value word alone";

    // A burst report taken shows the thread past its start pause and through a pass,
    // and every pass sends a queued poll first when a slot is free.
    const int32_t reported = Gate(kRtu, kTable, 0, 0, 1);
    StartBurstThread();
    ASSERT_EQ(gateway.SendBurst({gwsim::BurstSection::Rows(kRtu, kTable, 0, 1)}), 1);
    ASSERT_TRUE(WaitFor([&] { return Value(reported) >= 0; })) << LogText();
    EXPECT_EQ(gateway.CountRequests(kOpPoll), 10u) << "no slot has come free";
    // A message of a type the driver does not know frees one slot: the queue then
    // drains one poll per reply.
    ASSERT_EQ(gateway.SendUnknownMessage(0x777), 1);
    ASSERT_TRUE(gateway.WaitForRequest(kOpPoll, 2s, 12).has_value()) << LogText();
    std::vector<int> drained_rows;
    for (size_t index = 10; index < 13; ++index) {
        drained_rows.push_back(gateway.WaitForRequest(kOpPoll, 1s, index)->U8(39));
    }
    EXPECT_EQ(drained_rows, (std::vector<int>{17, 11, 13}));
    EXPECT_TRUE(WaitFor([&] { return context_->poll_queue_count == 0; }));
    EXPECT_TRUE(WaitFor([&] { return context_->polls_in_flight == 9; }))
        << "the ten lost replies keep nine slots";
}

TEST_F(BurstThreadTest, AnRtuStatusGateShowsTheStateOnceTheGatewayAnswers) {
    Gateway(TestAddress(70, 6));
    Connect();
    uint8_t value[4] = {};
    GateIoArguments gate{};
    gate.address = GateAddress{RtuSpecialUnit, RtuStatus, kRtu, kFixedWord, 16};
    gate.value_buffer = value;
    HostRequest request{context_.get(), kReadGate, kDriverNumber, 0, &gate};
    const std::pair<RtuState, int> shown[] = {
        {RtuActive, 1}, {RtuNotConfirmed, 0}, {RtuCommunicationFailed, 0}, {RtuDisabled, 3}};
    for (const auto& [state, word] : shown) {
        context_->rtu_state[kRtu] = state;
        EXPECT_EQ(ReadGate(request), 0);
        EXPECT_EQ(value[2] | value[3] << 8, word) << int{state};
        EXPECT_EQ(context_->rtu_state[kRtu], state);
    }
}

TEST_F(BurstThreadTest, TheThreadClosesTheChannelsAndRemovesTheClientWhenTheHostEndsIt) {
    gwsim::Gateway& gateway = Gateway(TestAddress(70, 5));
    Connect();
    StartBurstThread();
    ASSERT_TRUE(gateway.WaitForChannels(gwsim::kBurstChannelType, 1, 1s));
    EXPECT_TRUE(WaitFor([] { return hostsim::LogLines().size() > 0; }));
    EXPECT_EQ(Logged(kLogError, "KroGW : Start Burst thread"), 1);

    const uint16_t channel_id = context_->primary_sockets.channel_id;
    hostsim::EndClient(context_->client);
    ASSERT_TRUE(WaitFor([&] { return !hostsim::ClientExists(context_->client); }, 3s));
    const auto close = gateway.WaitForRequest(kOpCloseChannel, 1s);
    ASSERT_TRUE(close.has_value());
    EXPECT_EQ(close->U16(36), channel_id);
    EXPECT_EQ(context_->primary_sockets.burst, 0);
    EXPECT_EQ(context_->active_sockets.burst, 0);
    thread_started_ = false;
}

TEST_F(BurstThreadTest, AtTheEndAGatewayThatCannotBeToldIsClosedAllTheSame) {
    gwsim::Gateway& gateway = Gateway(TestAddress(70, 7));
    Connect();
    StartBurstThread();
    gateway.Stop();
    hostsim::EndClient(context_->client);
    ASSERT_TRUE(WaitFor([&] { return !hostsim::ClientExists(context_->client); }, 3s));
    EXPECT_EQ(context_->primary_sockets.status, 0);
    EXPECT_EQ(context_->primary_sockets.sync, 0);
    EXPECT_EQ(context_->primary_sockets.burst, 0);
    EXPECT_EQ(context_->active_sockets.sync, 0);
    thread_started_ = false;
}

}  // namespace
}  // namespace krogw::test
