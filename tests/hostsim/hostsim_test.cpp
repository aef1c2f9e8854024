// The stand-in host runtime behaves as the driver relies on.
#include <gtest/gtest.h>

#include <thread>

#include "tools/hostsim/hostsim.h"

namespace {

class HostSimTest : public ::testing::Test {
  protected:
    void SetUp() override { hostsim::Reset(); }
};

TEST_F(HostSimTest, GatesAreFoundByInstanceAndFourWords) {
    const krogw::GateAddress address{12, krogw::TableElement, 0x530A, 255, 16};
    const int32_t id = hostsim::DefineGate(3, address);
    int32_t found = -1;
    EXPECT_EQ(QivGetGateIdByAddress(1, 2, 12, 0, 0x530A, 255, &found) & 0xFFFF, 0);
    EXPECT_EQ(found, id);
    // Another instance, unit or sub-address is another gate.
    EXPECT_NE(QivGetGateIdByAddress(1, 3, 12, 0, 0x530A, 255, &found), 0);
    EXPECT_NE(QivGetGateIdByAddress(1, 2, 13, 0, 0x530A, 255, &found), 0);
    EXPECT_NE(QivGetGateIdByAddress(1, 2, 12, 0, 0x530B, 255, &found), 0);
}

TEST_F(HostSimTest, CookingIsLinearAndRawValueCooksBack) {
    const int32_t id = hostsim::DefineGate(1, {1, 0, 0x100, 255, 16}, {0.5, -10.0});
    double value = 0;
    ASSERT_EQ(QivCook(1, id, 300, &value), 0);
    EXPECT_DOUBLE_EQ(value, 140.0);

    double stored = 0;
    EXPECT_NE(QivGetGateVal(1, 16, id, &stored, nullptr, nullptr), 0) << "no value yet";
    ASSERT_EQ(QivPutGateVal(1, id, 2, value, 1099830645, 250), 0);
    ASSERT_EQ(QivGetGateVal(1, 16, id, &stored, nullptr, nullptr), 0);
    uint32_t raw = 0;
    ASSERT_EQ(QivGetGateRawValue(1, id, &raw, 0), 0);
    EXPECT_EQ(raw, 300u);
    const auto gate = hostsim::GateValueOf(id);
    ASSERT_TRUE(gate.has_value());
    EXPECT_EQ(gate->seconds, 1099830645);
    EXPECT_EQ(gate->milliseconds, 250);
    EXPECT_EQ(gate->updates, 1u);
    EXPECT_NE(QivCook(1, id + 1, 1, &value), 0) << "unknown gate";
}

TEST_F(HostSimTest, EndedClientsWaitReturnsZeroUntilRemoved) {
    uint8_t client = 0;
    ASSERT_EQ(QivMkClient("GateWay_No_03", 1, 0, &client), 0);
    EXPECT_NE(client, 0);
    EXPECT_EQ(hostsim::ClientByName("GateWay_No_03"), client);
    QivMessage message;
    EXPECT_NE(QivWaitMsg(client, &message, 0), 0);
    hostsim::EndClient(client);
    EXPECT_EQ(QivWaitMsg(client, &message, 0), 0);
    EXPECT_EQ(QivWaitMsg(client, &message, 0), 0) << "every thread of the client sees it";
    EXPECT_EQ(QivRmClient(client), 0);
    EXPECT_FALSE(hostsim::ClientExists(client));
}

TEST_F(HostSimTest, LogKeepsLinesAtOrAboveTheFilter) {
    hostsim::SetLogFilter(32);
    err(8, "KroGW : trace %d", 1);
    err(32, "KroGW : Fail to send command %X", 0x102);
    const auto lines = hostsim::LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, 32);
    EXPECT_EQ(lines[0].text, "KroGW : Fail to send command 102");
}

// A host that does not take the lines in time loses the oldest, and is told how many.
TEST_F(HostSimTest, AFullLogDropsTheOldestAndCountsThem) {
    for (size_t line = 0; line < hostsim::kMaxLogLines + 3; ++line) {
        err(32, "line %u", static_cast<unsigned>(line));
    }
    const auto lines = hostsim::LogLines();
    ASSERT_EQ(lines.size(), hostsim::kMaxLogLines);
    EXPECT_EQ(lines.front().text, "line 3");
    EXPECT_EQ(hostsim::LogLinesDropped(), 3u);
    hostsim::TakeLogLines();
    err(32, "one more");
    EXPECT_EQ(hostsim::LogLinesDropped(), 3u) << "taking lines is no drop";
}

TEST_F(HostSimTest, LinesNameTheInstanceTheirThreadCallsFor) {
    std::thread([] {
        hostsim::LogForInstance(7);
        err(32, "for seven");
    }).join();
    err(32, "for none");
    const auto lines = hostsim::LogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].instance, 7);
    EXPECT_EQ(lines[1].instance, 0);
}

TEST_F(HostSimTest, SerialBackupAndFailureNotices) {
    hostsim::SetSerialNumber(0x10159);
    hostsim::SetBackupMode(1);
    int32_t plug = 0;
    int32_t serial = 0;
    ASSERT_EQ(QivGetPlugSerNum(1, &plug, &serial), 0);
    EXPECT_EQ(serial & 0xFFFF, 0x0159);
    int32_t mode = 0;
    ASSERT_EQ(QivGetBackupMode(1, &mode), 0);
    EXPECT_EQ(mode, 1);
    QivSetPlcCommStatus(1, 4, 77, 1, 1);
    const auto failures = hostsim::RtuFailures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].driver_number, 4);
    EXPECT_EQ(failures[0].rtu, 77);
}

}  // namespace
