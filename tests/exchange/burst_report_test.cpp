// Burst reports: sections, the table type found through another row's gate, time
// stamps, overruns, disabled RTUs, and reports that the message's length cuts short.
#include <gmock/gmock.h>

#include <ctime>

#include "exchange/burst_report.h"
#include "tests/exchange/decoder_fixture.h"

namespace krogw::test {
namespace {

using BurstReportTest = DecoderFixture;
using ::testing::ElementsAre;

void Decode(DriverContext& context, const Bytes& message) {
    DecodeBurstReport(context, message.data(), message.size());
}

// Table 4 of type 5: a byte, a 16-bit and a 32-bit column; nine bytes a row.
Bytes Row(uint8_t row, uint8_t byte, uint16_t word, uint32_t longword) {
    Bytes bytes = {4, row, byte, 0, 0, 0, 0, 0, 0};
    PutU16(&bytes[3], word);
    PutU32(&bytes[5], longword);
    return bytes;
}

Bytes Joined(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST_F(BurstReportTest, SectionsOfSeveralRtusReachTheirGates) {
    Layout("5=1,2,3,0");
    const int32_t a[] = {Gate(5, 4, 0, 2, 5), Gate(5, 4, 1, 2, 5), Gate(5, 4, 2, 2, 5, 1.0)};
    const int32_t b = Gate(6, 4, 2, 3, 5, 1.0);
    Decode(*context_,
           BurstReport({{5, Row(2, 0xFE, 0x1234, 0x12345678)}, {6, Row(3, 0, 0, 0xCAFEF00D)}}));
    EXPECT_EQ(Value(a[0]), 0xFE);
    EXPECT_EQ(Value(a[1]), 0x1234);
    EXPECT_EQ(Value(a[2]), 0x12345678);
    EXPECT_EQ(Value(b), 0xCAFEF00D);
    EXPECT_EQ(context_->rtu_state[5], RtuActive);
    EXPECT_EQ(context_->rtu_state[6], RtuActive);
    EXPECT_THAT(Logged(kLogError), ElementsAre());
}

TEST_F(BurstReportTest, TableTypeComesFromAGateOnAnotherRow) {
    Layout("7=2,2,2,2,2,3,0");
    const int32_t only = Gate(3, 1, 5, 42, 7, 1.0);
    Bytes row3(16, 0);
    row3[1] = 3;
    Bytes row42(16, 0);
    row42[1] = 42;
    PutU32(&row42[12], 0x0A0B0C0D);
    row3[0] = row42[0] = 1;
    Decode(*context_, BurstReport({{3, Joined(row3, row42)}}));
    EXPECT_EQ(Value(only), 0x0A0B0C0D);
    EXPECT_THAT(Logged(kLogError), ElementsAre());
}

TEST_F(BurstReportTest, TimeStampedRowsTakeTheirStampWithOrWithoutAGate) {
    Layout("8=2,4,1,0");
    Layout("9=2,5,1,1,0");
    const int32_t full = Gate(1, 2, 0, 1, 8);
    const int32_t short_stamped = Gate(2, 2, 0, 1, 9);
    const Bytes full_stamp = {0x07, 0x0B, 0x04, 0x0E, 0x1E, 0x2D, 0x01, 0xF4};
    const Bytes short_stamp = {0x04, 0xBB, 0x3B, 0x9E, 0x7D, 0x2C};
    // Row 0 has no gate; its value and stamp are passed over all the same.
    const Bytes full_rows =
        Joined(Joined({2, 0, 0, 1}, full_stamp), Joined({2, 1, 0, 9}, full_stamp));
    const Bytes short_rows =
        Joined(Joined({2, 0, 0, 1}, short_stamp), Joined({2, 1, 0, 8}, short_stamp));
    Decode(*context_, BurstReport({{1, full_rows}, {2, short_rows}}));

    std::tm november{};
    november.tm_year = 104;
    november.tm_mon = 10;
    november.tm_mday = 7;
    november.tm_hour = 14;
    november.tm_min = 30;
    november.tm_sec = 45;
    november.tm_isdst = -1;
    const auto expected = static_cast<int32_t>(std::mktime(&november));
    const auto stored = hostsim::GateValueOf(full);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->value, 9);
    EXPECT_EQ(stored->seconds, expected);
    EXPECT_EQ(stored->milliseconds, 500);
    const auto short_stored = hostsim::GateValueOf(short_stamped);
    ASSERT_TRUE(short_stored);
    EXPECT_EQ(short_stored->value, 8);
    EXPECT_EQ(short_stored->milliseconds, 300);
    EXPECT_THAT(Logged(kLogError), ElementsAre());
}

TEST_F(BurstReportTest, OverrunOfTheLastSectionSetsCode59) {
    Layout("3=2,0");
    const int32_t error_gate = ErrorGate();
    Gate(1, 1, 0, 0, 3);
    const Bytes row = {1, 0, 0, 5};  // four bytes, of which the short sections announce two
    Decode(*context_, BurstReport({{1, row, 18}, {1, row}}));
    EXPECT_THAT(Logged(kLogError), ElementsAre());
    EXPECT_EQ(Value(error_gate), -1);

    Decode(*context_, BurstReport({{1, row}, {1, row, 18}}));
    EXPECT_THAT(Logged(kLogError),
                ElementsAre(" KroGW : WARNING !!! Lost burst data, Application not match(check "
                            "tables definition)"));
    EXPECT_EQ(Value(error_gate), 59);
}

TEST_F(BurstReportTest, DisabledRtuErrorCodeAndMissingTableDropTheRest) {
    Layout("3=2,0");
    const int32_t error_gate = ErrorGate();
    const int32_t other = Gate(2, 1, 0, 0, 3);
    const Bytes row = {1, 0, 0, 5};

    context_->rtu_state[1] = RtuDisabled;
    Decode(*context_, BurstReport({{1, row}, {2, row}}));
    EXPECT_EQ(context_->rtu_state[1], RtuDisabled);
    EXPECT_EQ(context_->rtu_state[2], RtuNotConfirmed);
    EXPECT_TRUE(hostsim::LogLines().empty());

    Decode(*context_, BurstReport({{2, row}}, 77));
    EXPECT_THAT(Logged(kLogError), ElementsAre("KROGW : Got Burst Msg with error code 77"));
    EXPECT_EQ(Value(error_gate), 77);
    EXPECT_EQ(context_->rtu_state[2], RtuNotConfirmed);

    hostsim::ClearLog();
    context_->rtu_state[1] = RtuNotConfirmed;
    Decode(*context_, BurstReport({{1, row}, {2, row}}));
    EXPECT_THAT(
        Logged(kLogError),
        ElementsAre("KroGW : Can not find definition for Rtu 1 Tbl 1 Kro Number 1",
                    "KroGW : WARNING !!! Burst data lost (define gate for the above table)"));
    EXPECT_EQ(context_->rtu_state[1], RtuActive);  // set before its rows were dropped
    EXPECT_EQ(Value(other), -1);
}

TEST_F(BurstReportTest, OnlyElementsWhollyInsideTheMessageAreStored) {
    Layout("5=1,2,3,0");
    const int32_t row0 = Gate(5, 4, 2, 0, 5, 1.0);
    const int32_t row1[] = {Gate(5, 4, 0, 1, 5), Gate(5, 4, 1, 1, 5), Gate(5, 4, 2, 1, 5, 1.0)};
    const Bytes rows = Joined(Row(0, 1, 2, 3), Row(1, 4, 5, 6));

    // data_length announces both rows; the message ends inside row 1's last element,
    // and the second section that tail_mark promises never comes.
    Bytes cut = BurstReport({{5, Bytes(rows.begin(), rows.end() - 1), 16 + 18}});
    cut[19] = 2;
    Decode(*context_, cut);
    EXPECT_EQ(Value(row0), 3);
    EXPECT_EQ(Value(row1[0]), 4);
    EXPECT_EQ(Value(row1[1]), 5);
    EXPECT_EQ(Value(row1[2]), -1);
    EXPECT_EQ(Logged(kLogError).size(), 1u);

    // A total_length that ends before the bytes received: nothing past it is read.
    hostsim::Reset();
    Gate(5, 4, 2, 0, 5, 1.0);
    Bytes lying = BurstReport({{5, rows}});
    PutU16(&lying[16], static_cast<uint16_t>(lying.size() - 9 - 1));
    Decode(*context_, lying);
    EXPECT_EQ(Value(row0), -1);  // row 0 lacks its last byte
}

}  // namespace
}  // namespace krogw::test
