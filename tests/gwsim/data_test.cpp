// Polls, writes, clocks, SetCall and burst reports against the table model.
#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>

#include "tests/gwsim/gw_client.h"
#include "tests/support/test_net.h"
#include "tools/gwsim/gwsim.h"

namespace gwsim::test {
namespace {

using namespace std::chrono_literals;

// Header and command block as the driver puts them on the wire, written out by hand:
// message class and channel id 0x0102 least significant byte first, the rest in
// network order, the table type in byte 34.
Bytes WireHead(uint8_t message_class, uint16_t total, uint16_t opcode, uint8_t aux = 0) {
    const auto data_length = static_cast<uint16_t>(total - 36);
    auto hi = [](uint16_t v) { return static_cast<uint8_t>(v >> 8); };
    auto lo = [](uint16_t v) { return static_cast<uint8_t>(v); };
    // clang-format off
    return {0x00, 0x01, 0x00, 0x00, message_class, 0x00, 0x00, 0x00,  // marks, class
            0x02, 0x01, 0x00, 0x00,                                    // channel id
            0x00, 0x00, 0x00, 0x00, hi(total), lo(total), 0x00, 0x01,  // status, length, tail
            0x00, 0x00, hi(opcode), lo(opcode), 0x00, 0x00, 0x00, 0x00,  // opcode, reserved
            0x00, 0x00, 0x00, 0x00,                                      // result code
            hi(data_length), lo(data_length), aux, 0x00};
    // clang-format on
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes joined;
    for (const Bytes& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

const Bytes kReserved(9, 0);

// RTUs 1 and 2; table 5 of type 1 (bit, 16, 32), table 6 of type 2 (16-bit, full stamp),
// table 7 of type 3 (three bits).
class GwsimData : public ::testing::Test {
  protected:
    void Serve(const char* address) {
        gw_ = std::make_unique<Gateway>(address);
        gw_->DefineTableType(1, ParseTableType("1,2,3,0"));
        gw_->DefineTableType(2, ParseTableType("2,4,1,0"));
        gw_->DefineTableType(3, ParseTableType("1,1,1,0"));
        for (const uint16_t rtu : {uint16_t{1}, uint16_t{2}}) {
            gw_->DefineTable(rtu, 5, 1, 10);
            gw_->DefineTable(rtu, 6, 2, 4);
            gw_->DefineTable(rtu, 7, 3, 8);
        }
        gw_->Start();
        client_ = std::make_unique<GwClient>(address);
        ASSERT_TRUE(client_->connected());
        burst_id_ = client_->OpenChannel(kBurstChannelType);
        ASSERT_NE(burst_id_, 0);
    }

    std::optional<Bytes> Poll(uint32_t opcode, uint16_t rtu, uint8_t table, uint8_t table_type,
                              uint8_t first, uint8_t rows, uint8_t columns = 3) {
        return client_->Exchange(
            Message(opcode, burst_id_, RangeBody(rtu, table, first, rows, 0, columns), table_type));
    }

    std::optional<Bytes> Write(uint32_t opcode, uint16_t rtu, uint8_t table, uint8_t row,
                               uint8_t count, uint8_t column, const Bytes& data) {
        return client_->Exchange(
            Message(opcode, burst_id_, RangeBody(rtu, table, row, count, column, 1, data)));
    }

    std::unique_ptr<Gateway> gw_;
    std::unique_ptr<GwClient> client_;
    uint16_t burst_id_ = 0;
};

TEST_F(GwsimData, PollReplyEchoesTheRequestAndCarriesTheRows) {
    Serve(krogw::test::TestAddress(50, 20));
    gw_->SetValue(1, 5, 2, 0, 1);
    gw_->SetValue(1, 5, 2, 1, 0x1234);
    gw_->SetValue(1, 5, 2, 2, 0x12345678);
    gw_->SetValue(1, 5, 3, 1, 0x0001);
    gw_->SetValue(1, 5, 3, 2, 2);

    const auto reply = Poll(krogw::kOpPoll, 1, 5, 1, 2, 2);
    ASSERT_TRUE(reply);
    const krogw::GwFrame frame = FrameOf(*reply);
    EXPECT_EQ(frame.command.opcode, 0x80000101u);
    EXPECT_EQ(frame.header.status, krogw::kGwStatusNormal);
    EXPECT_EQ(frame.header.channel_id, burst_id_);
    EXPECT_EQ(frame.command.result_code, kResultOk);
    EXPECT_EQ((*reply)[34], 1);  // the table type, back from the request
    EXPECT_EQ(frame.header.total_length, reply->size());
    EXPECT_EQ(frame.command.data_length, reply->size() - 36);
    EXPECT_EQ(Bytes(reply->begin() + 36, reply->begin() + 52), RangeBody(1, 5, 2, 2, 0, 3));
    const auto recorded = gw_->WaitForRequest(krogw::kOpPoll, 100ms);
    ASSERT_TRUE(recorded);
    EXPECT_EQ(recorded->channel_type, kBurstChannelType);
    EXPECT_EQ(recorded->Rtu(), 1);
    EXPECT_EQ(recorded->U8(38), 5);
    EXPECT_EQ(recorded->U32(20), krogw::kOpPoll);
    EXPECT_EQ(Tail(*reply, 52), (Bytes{0x80, 0x12, 0x34, 0x12, 0x34, 0x56, 0x78,     // row 2
                                       0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02}));  // row 3
}

TEST_F(GwsimData, PollOfATimeStampedTableCarriesTheStamp) {
    Serve(krogw::test::TestAddress(50, 21));
    gw_->SetValue(2, 6, 1, 0, 0x0102);
    gw_->SetTimeStamp(2, 6, 1, {2004, 11, 7, 14, 30, 45, 500});
    const auto reply = Poll(krogw::kOpPoll, 2, 6, 2, 1, 1);
    ASSERT_TRUE(reply);
    EXPECT_EQ(Tail(*reply, 52),
              (Bytes{0x01, 0x02, 0x07, 0x0B, 0x04, 0x0E, 0x1E, 0x2D, 0x01, 0xF4}));

    // A written value takes the time of the write as its stamp.
    const TimeStamp before = TimeStamp::Now();
    ASSERT_TRUE(Write(krogw::kOpSendCommand, 2, 6, 1, 1, 0, {0x03, 0x04}));
    const TimeStamp written = gw_->GetTimeStamp(2, 6, 1);
    EXPECT_EQ(gw_->Value(2, 6, 1, 0), 0x0304u);
    EXPECT_NE(written, (TimeStamp{2004, 11, 7, 14, 30, 45, 500}));
    EXPECT_GE(written.year, before.year);
}

TEST_F(GwsimData, RowListPollCarriesChangedRowsByNumberAndEndsWith255) {
    Serve(krogw::test::TestAddress(50, 22));
    const auto first = Poll(krogw::kOpPollRowList, 1, 7, 3, 0, 2);
    ASSERT_TRUE(first);
    EXPECT_EQ(FrameOf(*first).command.opcode, 0x80000105u);
    EXPECT_EQ(Tail(*first, 52), (Bytes{0, 0x00, 1, 0x00, 0xFF}));  // all rows at first

    gw_->SetValue(1, 7, 3, 0, 1);
    gw_->SetValue(1, 7, 7, 2, 1);
    const auto changed = Poll(krogw::kOpPollRowList, 1, 7, 3, 0, 8);
    ASSERT_TRUE(changed);
    EXPECT_EQ(Tail(*changed, 52),
              (Bytes{2, 0x00, 3, 0x80, 4, 0x00, 5, 0x00, 6, 0x00, 7, 0x20, 0xFF}));
    const auto unchanged = Poll(krogw::kOpPollRowList, 1, 7, 3, 0, 8);
    ASSERT_TRUE(unchanged);
    EXPECT_EQ(Tail(*unchanged, 52), Bytes{0xFF});

    // 255 rows of eight 32-bit values do not fit in a reply: refused, the rows stay changed.
    gw_->DefineTableType(4, ParseTableType("3,3,3,3,3,3,3,3,0"));
    gw_->DefineTable(1, 8, 4, 255);
    const auto too_long = Poll(krogw::kOpPollRowList, 1, 8, 4, 0, 255, 8);
    ASSERT_TRUE(too_long);
    EXPECT_EQ(FrameOf(*too_long).command.result_code, kResultBadRequest);
    const auto first_rows = Poll(krogw::kOpPollRowList, 1, 8, 4, 0, 2, 8);
    ASSERT_TRUE(first_rows);
    Bytes expected{0};
    expected.resize(33, 0);
    expected.push_back(1);
    expected.resize(66, 0);
    expected.push_back(0xFF);
    EXPECT_EQ(Tail(*first_rows, 52), expected);
}

TEST_F(GwsimData, PollsThatCannotBeServedCarryTheirResultCode) {
    Serve(krogw::test::TestAddress(50, 23));
    gw_->SetRtuOnline(2, false);
    struct Case {
        uint16_t rtu;
        uint8_t table;
        uint8_t first;
        uint8_t rows;
        uint32_t result;
    };
    for (const Case c :
         {Case{2, 5, 0, 1, kResultRtuOffline}, Case{9, 5, 0, 1, kResultRtuOffline},
          Case{1, 9, 0, 1, kResultBadAddress}, Case{1, 5, 8, 3, kResultBadAddress}}) {
        const auto reply = Poll(krogw::kOpPoll, c.rtu, c.table, 1, c.first, c.rows);
        ASSERT_TRUE(reply);
        EXPECT_EQ(FrameOf(*reply).command.result_code, c.result) << c.rtu << "/" << +c.table;
        EXPECT_EQ(reply->size(), 52u);
        EXPECT_EQ(krogw::GetU16(reply->data() + 36), c.rtu);
    }
    gw_->SetRtuOnline(2, true);
    const auto back = Poll(krogw::kOpPoll, 2, 5, 1, 0, 1);
    ASSERT_TRUE(back);
    EXPECT_EQ(FrameOf(*back).command.result_code, kResultOk);
}

TEST_F(GwsimData, WritesAreDecodedByColumnTypeAndShowInLaterPolls) {
    Serve(krogw::test::TestAddress(50, 24));
    struct Case {
        uint32_t opcode;
        uint8_t column;
        uint8_t row;
        std::vector<uint32_t> values;
        Bytes data;
    };
    const Case cases[] = {
        {krogw::kOpSendCommand, 1, 4, {0x1234}, {0x12, 0x34}},
        {krogw::kOpSendCommand, 2, 4, {0x12345678}, {0x12, 0x34, 0x56, 0x78}},
        {krogw::kOpSendCommand, 0, 9, {1}, {0x80}},
        {krogw::kOpSendData, 0, 0, {1, 0, 1, 1, 0, 0, 0, 0, 1}, {0xB0, 0x80}},
        {krogw::kOpSendData, 1, 1, {0xA, 0xB, 0xC}, {0, 0xA, 0, 0xB, 0, 0xC}},
    };
    for (const Case& c : cases) {
        const auto reply =
            Write(c.opcode, 1, 5, c.row, static_cast<uint8_t>(c.values.size()), c.column, c.data);
        ASSERT_TRUE(reply);
        EXPECT_EQ(FrameOf(*reply).command.opcode, c.opcode | krogw::kGwReplyBit);
        EXPECT_EQ(FrameOf(*reply).command.result_code, kResultOk);
        EXPECT_EQ(FrameOf(*reply).header.status, krogw::kGwStatusNormal);
        EXPECT_EQ(reply->at(38), 5);  // the table, for the late-reply log
        for (size_t i = 0; i < c.values.size(); ++i) {
            EXPECT_EQ(gw_->Value(1, 5, c.row + static_cast<int>(i), c.column), c.values[i]);
        }
    }
    const auto poll = Poll(krogw::kOpPoll, 1, 5, 1, 4, 1);
    ASSERT_TRUE(poll);
    EXPECT_EQ(Tail(*poll, 52), (Bytes{0x00, 0x12, 0x34, 0x12, 0x34, 0x56, 0x78}));
}

TEST_F(GwsimData, WritesThatDoNotFitAreRefusedAndChangeNothing) {
    Serve(krogw::test::TestAddress(50, 25));
    gw_->SetRtuOnline(2, false);
    struct Case {
        uint16_t rtu;
        uint8_t table;
        uint8_t row;
        uint8_t count;
        uint8_t column;
        Bytes data;
        uint32_t result;
    };
    const Case cases[] = {
        {1, 5, 0, 1, 1, {0x12}, kResultBadRequest},        // 16-bit column, one byte
        {1, 5, 0, 2, 0, {0xC0, 0x00}, kResultBadRequest},  // two bits take one byte
        {1, 5, 0, 0, 1, {}, kResultBadRequest},
        {1, 5, 0, 1, 3, {0, 0, 0, 1}, kResultBadAddress},  // no column 3
        {1, 5, 9, 2, 1, {0, 1, 0, 2}, kResultBadAddress},  // past the last row
        {1, 6, 0, 1, 1, {0, 0, 0, 1}, kResultBadAddress},  // the stamp column
        {2, 5, 0, 1, 1, {0, 1}, kResultRtuOffline},
    };
    for (const Case& c : cases) {
        const auto reply =
            Write(krogw::kOpSendData, c.rtu, c.table, c.row, c.count, c.column, c.data);
        ASSERT_TRUE(reply);
        EXPECT_EQ(FrameOf(*reply).command.result_code, c.result)
            << c.rtu << "/" << +c.table << " row " << +c.row << " col " << +c.column;
    }
    EXPECT_EQ(gw_->Value(1, 5, 0, 1), 0u);
    EXPECT_EQ(gw_->Value(2, 5, 0, 1), 0u);
}

TEST_F(GwsimData, WritesAsTheDriverSendsThemByteForByte) {
    Serve(krogw::test::TestAddress(80, 1));
    // RTU 7, table 3: column 0 bits, column 1 32-bit, column 2 16-bit values.
    gw_->DefineTableType(9, ParseTableType("1,3,2,0"));
    gw_->DefineTable(7, 3, 9, 50);
    struct Case {
        const char* what;
        Bytes message;
        int column;
        int first_row;
        std::vector<uint32_t> values;
    };
    const Case cases[] = {
        {"16-bit 0x1234 to column 2 row 40",
         Join({WireHead(1, 54, 259),
               {0x00, 0x07, 0x03, 0x28, 0x01, 0x02, 0x01},
               kReserved,
               {0x12, 0x34}}),
         2,
         40,
         {0x1234}},
        {"32-bit 0x12345678 to column 1 row 41",
         Join({WireHead(1, 56, 259),
               {0x00, 0x07, 0x03, 0x29, 0x01, 0x01, 0x01},
               kReserved,
               {0x12, 0x34, 0x56, 0x78}}),
         1,
         41,
         {0x12345678}},
        {"one true bit to column 0 row 12",
         Join(
             {WireHead(1, 53, 259), {0x00, 0x07, 0x03, 0x0C, 0x01, 0x00, 0x01}, kReserved, {0x80}}),
         0,
         12,
         {1}},
        {"ten bits 1,0,1,1,0,0,0,0,1,1 to column 0 rows 0-9",
         Join({WireHead(1, 54, 258),
               {0x00, 0x07, 0x03, 0x00, 0x0A, 0x00, 0x01},
               kReserved,
               {0xB0, 0xC0}}),
         0,
         0,
         {1, 0, 1, 1, 0, 0, 0, 0, 1, 1}},
        {"three 16-bit values to column 2 rows 20-22",
         Join({WireHead(1, 58, 258),
               {0x00, 0x07, 0x03, 0x14, 0x03, 0x02, 0x01},
               kReserved,
               {0x00, 0x0A, 0xFF, 0xFE, 0x12, 0x34}}),
         2,
         20,
         {0x000A, 0xFFFE, 0x1234}},
    };
    for (const Case& c : cases) {
        const auto reply = client_->Exchange(c.message);
        ASSERT_TRUE(reply) << c.what;
        const krogw::GwFrame frame = FrameOf(*reply);
        EXPECT_EQ(frame.command.opcode, krogw::GetU32(c.message.data() + 20) | krogw::kGwReplyBit)
            << c.what;
        EXPECT_EQ(frame.command.result_code, kResultOk) << c.what;
        EXPECT_EQ(Bytes(reply->begin() + 36, reply->begin() + 39), (Bytes{0x00, 0x07, 0x03}))
            << c.what << ": RTU and table back for the late-reply log";
        for (size_t i = 0; i < c.values.size(); ++i) {
            EXPECT_EQ(gw_->Value(7, 3, c.first_row + static_cast<int>(i), c.column), c.values[i])
                << c.what << ", element " << i;
        }
    }
}

TEST_F(GwsimData, PollAsTheDriverSendsItIsAnsweredByteForByte) {
    Serve(krogw::test::TestAddress(80, 2));
    // RTU 12, table 5 of table type 3 with six columns: a 16-bit value and five bits.
    gw_->DefineTableType(3, ParseTableType("2,1,1,1,1,1,0"));
    gw_->DefineTable(12, 5, 3, 14);
    const uint32_t row_10[] = {0x1234, 1, 0, 1, 0, 1};
    const uint32_t row_11[] = {0xABCD, 1, 1, 1, 1, 1};
    for (int column = 0; column < 6; ++column) {
        gw_->SetValue(12, 5, 10, column, row_10[column]);
        gw_->SetValue(12, 5, 11, column, row_11[column]);
    }
    const Bytes poll =
        Join({WireHead(3, 52, 257, 3), {0x00, 0x0C, 0x05, 0x0A, 0x04, 0x00, 0x06}, kReserved});
    const auto reply = client_->Exchange(poll);
    ASSERT_TRUE(reply);
    const Bytes expected = Join({
        {0x00, 0x01, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x02, 0x01, 0x00, 0x00},
        {0x00, 0x00, 0x00, 0x01},  // status: a normal message
        {0x00, 0x40, 0x00, 0x01},  // 64 bytes
        {0x80, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
        {0x00, 0x1C, 0x03, 0x00},  // data_length 28, the table type back
        {0x00, 0x0C, 0x05, 0x0A, 0x04, 0x00, 0x06},
        kReserved,
        {0x12, 0x34, 0xA8, 0xAB, 0xCD, 0xF8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // rows 10-13
    });
    EXPECT_EQ(*reply, expected);
}

TEST_F(GwsimData, SetTimeAndSetCallAreRecorded) {
    Serve(krogw::test::TestAddress(50, 26));
    Bytes clock_body(16, 0);
    krogw::PutU16(clock_body.data(), 1);
    clock_body.insert(clock_body.end(), {0x18, 0x0B, 0x07, 0x01, 0x0E, 0x1E, 0x2D});
    const auto clock = client_->Exchange(Join({WireHead(1, 59, 1028), clock_body}));
    ASSERT_TRUE(clock);
    EXPECT_EQ(FrameOf(*clock).command.opcode, 0x80000404u);
    EXPECT_EQ(FrameOf(*clock).command.result_code, kResultOk);
    EXPECT_EQ(gw_->ClockOf(1), (RtuClock{2004, 11, 7, 1, 14, 30, 45}));
    EXPECT_FALSE(gw_->ClockOf(2));

    gw_->SetRtuOnline(2, false);
    krogw::PutU16(clock_body.data(), 2);
    const auto offline = client_->Exchange(Message(krogw::kOpSetRtuTime, burst_id_, clock_body));
    ASSERT_TRUE(offline);
    EXPECT_EQ(FrameOf(*offline).command.result_code, kResultRtuOffline);

    Bytes setcall(16, 0);
    krogw::PutU16(setcall.data(), 300);
    setcall.insert(setcall.end(), {0x02, 0x03, 0xE8, 0x03, 0x04, 0x00, 0x3C});
    const auto reply = client_->Exchange(Join({WireHead(1, 59, 513), setcall}));
    ASSERT_TRUE(reply);
    EXPECT_EQ(FrameOf(*reply).command.result_code, kResultOk);
    ASSERT_EQ(gw_->SetCalls().size(), 1u);
    EXPECT_EQ(gw_->SetCalls()[0], (SetCallRecord{300, 2, 1000, 3, 4, 60}));
}

TEST_F(GwsimData, BurstReportCarriesSectionsOfCurrentValues) {
    Serve(krogw::test::TestAddress(50, 27));
    gw_->SetValue(1, 5, 0, 0, 1);
    gw_->SetValue(1, 5, 0, 1, 0x1234);
    gw_->SetValue(2, 6, 3, 0, 0x0102);
    gw_->SetTimeStamp(2, 6, 3, {2004, 11, 7, 14, 30, 45, 500});

    EXPECT_EQ(gw_->SendBurst({BurstSection::Rows(1, 5, 0, 1), BurstSection::Rows(2, 6, 3, 1)}), 1);
    const auto report = client_->Receive();
    ASSERT_TRUE(report);
    const krogw::GwFrame frame = FrameOf(*report);
    EXPECT_EQ(frame.header.tail_mark, 2);  // sections
    EXPECT_EQ(frame.header.status, krogw::kGwStatusNormal);
    EXPECT_EQ(frame.header.channel_id, burst_id_);
    EXPECT_EQ(frame.command.opcode, krogw::kOpBurstReport);
    EXPECT_EQ(frame.command.result_code, 0u);
    EXPECT_EQ(frame.header.total_length, report->size());

    const Bytes first_rows = {5, 0, 0x01, 0x12, 0x34, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(frame.command.data_length, 16 + first_rows.size());
    EXPECT_EQ(krogw::GetU16(report->data() + 36), 1);
    EXPECT_EQ(Bytes(report->begin() + 52, report->begin() + 61), first_rows);

    const size_t second = 61;  // command block, body, rows of the next section
    const Bytes second_rows = {6, 3, 0x01, 0x02, 0x07, 0x0B, 0x04, 0x0E, 0x1E, 0x2D, 0x01, 0xF4};
    EXPECT_EQ(krogw::GetU16(report->data() + second + 12), 16 + second_rows.size());
    EXPECT_EQ(krogw::GetU16(report->data() + second + 16), 2);
    EXPECT_EQ(Tail(*report, second + 32), second_rows);

    EXPECT_THROW(gw_->SendBurst({BurstSection::Rows(1, 5, 9, 2)}), std::invalid_argument);
    gw_->SetRtuOnline(1, false);
    gw_->SetRtuOnline(2, false);
    EXPECT_EQ(gw_->SendBurst({BurstSection::Rows(1, 5, 0, 1)}), 0);
}

TEST_F(GwsimData, ScheduledBurstsFollowTheModeAndStopWhenCleared) {
    Serve(krogw::test::TestAddress(50, 28));
    gw_->ScheduleBurst({BurstSection::Rows(1, 5, 0, 1)}, 50ms);
    ASSERT_TRUE(client_->Receive(1000));
    ASSERT_TRUE(client_->Receive(1000));

    ASSERT_TRUE(client_->Exchange(Message(krogw::kOpSetMode, burst_id_, {1})));  // standby
    while (client_->Receive(150)) {
        // reports already on their way before the mode changed
    }
    EXPECT_FALSE(client_->Receive(300));

    ASSERT_TRUE(client_->Exchange(Message(krogw::kOpSetMode, burst_id_, {0}), 1000));
    EXPECT_TRUE(client_->Receive(1000));
    gw_->ClearBurstSchedule();
    while (client_->Receive(150)) {
    }
    EXPECT_FALSE(client_->Receive(300));
}

}  // namespace
}  // namespace gwsim::test
