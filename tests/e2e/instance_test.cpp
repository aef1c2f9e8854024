// Instances started, used and ended through KroMain only, as a host does it, against
// simulated gateways: start-up and its refusals, the gate requests of every kind, the
// gateway status reads with their switch-overs, and two instances side by side.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/instance_fixture.h"
#include "tests/support/test_net.h"

namespace krogw::test {
namespace {

constexpr uint16_t kRtu = 7;
constexpr uint8_t kTable = 5;
// Table type 1: two 32-bit columns; RTUs start active so that requests answer 0.
constexpr const char* kLayoutAndState = "1=3,3,0\nRTU_INITIAL_STATE=ON\n";

std::string Configuration(const std::string& primary, const std::string& secondary = "",
                          const std::string& extra = "") {
    std::string text = "PRIMARY=" + primary + "\n";
    if (!secondary.empty()) {
        text += "SECONDARY=" + secondary + "\n";
    }
    return text + kLayoutAndState + extra;
}

class InstanceTest : public InstanceFixture {
  protected:
    // A gateway serving RTU 7's table 5 (four rows), values at row * 10 + column.
    static std::unique_ptr<gwsim::Gateway> ServeTable(const std::string& address,
                                                      uint32_t base = 0) {
        auto gateway = std::make_unique<gwsim::Gateway>(address);
        gateway->DefineTableType(1, gwsim::ParseTableType("3,3,0"));
        gateway->DefineTable(kRtu, kTable, 1, 4);
        for (int row = 0; row < 4; ++row) {
            for (int column = 0; column < 2; ++column) {
                gateway->SetValue(kRtu, kTable, row, column,
                                  base + static_cast<uint32_t>(row * 10 + column));
            }
        }
        gateway->Start();
        return gateway;
    }

    // A running instance connected to the gateway at `address`.
    Instance& Running(int32_t driver_number, const std::string& primary,
                      const std::string& secondary = "", const std::string& extra = "") {
        WriteConfiguration(driver_number, Configuration(primary, secondary, extra));
        Instance& instance = NewInstance(driver_number);
        EXPECT_EQ(Start(instance, 1), kResultDone) << LogText();
        return instance;
    }

    static double ValueOf(const Gate& gate) {
        const auto value = hostsim::GateValueOf(gate.id);
        return value ? value->value : -1.0;
    }

    static bool WaitForValue(const Gate& gate, double value) {
        return WaitFor([&] { return ValueOf(gate) == value; }, 5s);
    }
};

TEST_F(InstanceTest, StartRefusalsAndConfigurationOnlyStart) {
    auto gateway = ServeTable(TestAddress(120, 1));
    Instance& instance = NewInstance(7);

    EXPECT_EQ(Start(instance, 1), kResultFailed) << "no configuration file";
    EXPECT_FALSE(ClientOf(7));

    WriteConfiguration(7, Configuration(TestAddress(120, 1)));
    EXPECT_EQ(Start(instance, 0), kResultDone);
    EXPECT_FALSE(ClientOf(7)) << "flag 0 registers no client";
    EXPECT_NE(DefineGate(instance, "00007005010000").id, 0) << "the layouts are loaded";
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(gateway->Channels().empty()) << "and nothing is connected";
}

TEST_F(InstanceTest, ClientNameAndReplyTimeOutFloor) {
    // No gateway serves this address: the instance starts all the same.
    struct Case {
        int32_t driver;
        int32_t timeout_10ms;
        int32_t expected_ms;
        const char* client;
    };
    for (const Case& c :
         {Case{3, 299, 3000, "GateWay_No_03"}, Case{123, 301, 3010, "GateWay_No_123"}}) {
        WriteConfiguration(c.driver, Configuration(TestAddress(120, 9)));
        Instance& instance = NewInstance(c.driver);
        EXPECT_EQ(Start(instance, 1, c.timeout_10ms), kResultDone) << c.client;
        EXPECT_TRUE(hostsim::ClientByName(c.client)) << c.client;
        EXPECT_EQ(instance.context->sync_reply_timeout, c.expected_ms) << c.client;
    }
}

// A second start while the threads run would reset the context under them; once the
// host has ended the client and both threads have left, the instance starts again.
TEST_F(InstanceTest, SecondStartRefusedWhileRunningCloseAndEnd) {
    auto gateway = ServeTable(TestAddress(120, 2));
    Instance& instance = Running(8, TestAddress(120, 2));
    ASSERT_TRUE(gateway->WaitForChannels(7, 1, 2s));
    const auto client = ClientOf(8);
    ASSERT_TRUE(client);

    EXPECT_EQ(Start(instance, 1), kResultNotDone);
    EXPECT_EQ(Logged(kLogError, "KroGW : Start refused, instance 8 is running"), 1) << LogText();
    EXPECT_EQ(gateway->Channels().size(), 3u) << "nothing reopened";

    EXPECT_EQ(Call(instance, kCloseInstance, nullptr), kResultDone);
    EXPECT_TRUE(gateway->WaitForRequest(kOpCloseChannel, 1s));

    ASSERT_TRUE(EndInstance(instance));
    EXPECT_FALSE(hostsim::ClientExists(*client));
    EXPECT_EQ(hostsim::ClientRemovals(*client), 2) << "a host frees the context after both";
    EXPECT_EQ(Start(instance, 1), kResultDone) << LogText();
    EXPECT_TRUE(gateway->WaitForChannels(7, 1, 2s));
    EXPECT_EQ(gateway->Channels().size(), 6u);
}

// Once both threads have removed the client the context is the host's again: it may
// start the instance on it at once, or free it (a late touch is a use-after-free).
TEST_F(InstanceTest, AfterBothRemovalsTheHostMayRestartOrFreeTheContext) {
    auto gateway = ServeTable(TestAddress(120, 40));
    Instance& instance = Running(10, TestAddress(120, 40));
    ASSERT_TRUE(gateway->WaitForChannels(7, 1, 2s));
    const auto ended = [&] {
        const auto client = ClientOf(10);
        EXPECT_TRUE(client);
        hostsim::EndClient(client.value_or(0));
        return WaitFor([&] { return hostsim::ClientRemovals(client.value_or(0)) == 2; }, 15s, 1ms);
    };

    ASSERT_TRUE(ended());
    EXPECT_EQ(Start(instance, 1), kResultDone) << LogText();
    EXPECT_EQ(Logged(kLogError, "KroGW : Start refused, instance 10 is running"), 0);
    ASSERT_TRUE(gateway->WaitForChannels(7, 1, 2s));

    ASSERT_TRUE(ended());
    instance.storage.reset();
    // Longer than the pause either thread makes after it lets the client go.
    std::this_thread::sleep_for(3500ms);
    instance.storage = std::make_unique<DriverContext>();
    instance.context = instance.storage.get();
}

TEST_F(InstanceTest, PollsBurstsAndWritesReachTheGatesAndTheRtu) {
    auto gateway = ServeTable(TestAddress(120, 3));
    Instance& instance = Running(9, TestAddress(120, 3));
    const Gate first = DefineGate(instance, "00007005010000");
    const Gate row2_column1 = DefineGate(instance, "00007005010021");
    const Gate poll = DefineGate(instance, "P000070050100004");
    ASSERT_NE(poll.id, 0);
    EXPECT_EQ(DefineGate(instance, "00007005010000").id, 0) << "an address already defined";
    ASSERT_TRUE(gateway->WaitForChannels(7, 1, 2s));

    uint8_t value[4] = {};
    EXPECT_EQ(GateIo(instance, kReadGate, poll, value), kResultDone);
    EXPECT_TRUE(gateway->WaitForRequest(kOpPoll, 2s));
    EXPECT_TRUE(WaitForValue(row2_column1, 21)) << LogText();
    EXPECT_EQ(ReadWord(instance, "!POLL"), 0) << "the reply freed the poll's slot";
    EXPECT_EQ(GateIo(instance, kReadGate, row2_column1, value), kResultDone);
    EXPECT_EQ(value[0], 21);

    gateway->SetValue(kRtu, kTable, 0, 0, 500);
    gateway->SendBurst({gwsim::BurstSection::Rows(kRtu, kTable, 0, 1)});
    EXPECT_TRUE(WaitForValue(first, 500));

    EXPECT_EQ(Write32(instance, row2_column1, 0x12345), kResultDone);
    EXPECT_EQ(gateway->Value(kRtu, kTable, 2, 1), 0x12345u);
}

// Time-stamped rows by poll (full stamps) and by burst report (short stamps): an
// instant the host's signed 32-bit seconds cannot hold is stored with seconds -1, the
// last second of 2037 exactly as local time.
TEST_F(InstanceTest, TimeStampsBeyondTheHostsSecondsStoreMinusOne) {
    const gwsim::TimeStamp stamps[] = {{2037, 12, 31, 23, 59, 58, 250},
                                       {2045, 6, 1, 8, 9, 10, 11},
                                       {2050, 1, 1, 0, 0, 0, 0},
                                       {2069, 12, 31, 23, 59, 59, 999}};
    constexpr uint8_t kFullTable = 6;
    constexpr uint8_t kShortTable = 8;
    auto gateway = std::make_unique<gwsim::Gateway>(TestAddress(120, 20));
    gateway->DefineTableType(2, gwsim::ParseTableType("3,4,3,0"));
    gateway->DefineTableType(3, gwsim::ParseTableType("3,5,3,3,0"));
    for (const uint8_t table : {kFullTable, kShortTable}) {
        gateway->DefineTable(kRtu, table, table == kFullTable ? 2 : 3, 4);
        for (int row = 0; row < 4; ++row) {
            gateway->SetValue(kRtu, table, row, 0, static_cast<uint32_t>(table * 100 + row));
            gateway->SetTimeStamp(kRtu, table, row, stamps[row]);
        }
    }
    gateway->Start();
    Instance& instance = Running(12, TestAddress(120, 20), "", "2=3,4,3,0\n3=3,5,3,3,0\n");
    std::vector<Gate> full;
    std::vector<Gate> short_stamped;
    for (const char* row : {"0", "1", "2", "3"}) {
        full.push_back(DefineGate(instance, (std::string("000070060200") + row + "0").c_str()));
        short_stamped.push_back(
            DefineGate(instance, (std::string("000070080300") + row + "0").c_str()));
    }
    const Gate poll = DefineGate(instance, "P000070060200004");
    ASSERT_NE(poll.id, 0);
    ASSERT_NE(full.back().id, 0);
    ASSERT_NE(short_stamped.back().id, 0);
    ASSERT_TRUE(gateway->WaitForChannels(7, 1, 2s));
    uint8_t value[4] = {};
    EXPECT_EQ(GateIo(instance, kReadGate, poll, value), kResultDone);
    gateway->SendBurst({gwsim::BurstSection::Rows(kRtu, kShortTable, 0, 4)});

    std::tm last_of_2037{};
    last_of_2037.tm_year = 137;
    last_of_2037.tm_mon = 11;
    last_of_2037.tm_mday = 31;
    last_of_2037.tm_hour = 23;
    last_of_2037.tm_min = 59;
    last_of_2037.tm_sec = 58;
    last_of_2037.tm_isdst = -1;
    const auto exact = static_cast<int64_t>(std::mktime(&last_of_2037));
    for (size_t row = 0; row < 4; ++row) {
        for (const auto& [gate, table] :
             {std::pair{full[row], kFullTable}, std::pair{short_stamped[row], kShortTable}}) {
            SCOPED_TRACE("table " + std::to_string(table) + " row " + std::to_string(row));
            ASSERT_TRUE(WaitForValue(gate, static_cast<double>(table * 100 + row))) << LogText();
            const auto stored = hostsim::GateValueOf(gate.id);
            EXPECT_EQ(stored->seconds, row == 0 ? exact : -1);
            EXPECT_EQ(stored->milliseconds, stamps[row].millisecond);
        }
    }
}

// Writing 0 to the RTU's state gate disables it: nothing is sent to it until 1 is
// written, while polls, writes and clock setting answer 0.
TEST_F(InstanceTest, DisabledRtuIsNeverContacted) {
    auto gateway = ServeTable(TestAddress(120, 4));
    Instance& instance = Running(10, TestAddress(120, 4));
    const Gate element = DefineGate(instance, "00007005010000");
    const Gate poll = DefineGate(instance, "P000070050100004");
    ASSERT_TRUE(gateway->WaitForChannels(7, 1, 2s));
    EXPECT_EQ(ReadWord(instance, "!00007"), 1) << "active";

    EXPECT_EQ(WriteWord(instance, "!00007", 0), kResultDone);
    gateway->ClearRequests();
    uint8_t value[4] = {};
    EXPECT_EQ(GateIo(instance, kReadGate, poll, value), kResultDone);
    EXPECT_EQ(GateIo(instance, kWriteGate, poll.address, value), kResultDone);
    EXPECT_EQ(GateIo(instance, kReadGate, element, value), kResultNotDone);
    EXPECT_EQ(Write32(instance, element, 99), kResultDone);
    EXPECT_EQ(WriteWord(instance, "T00007", 0), kResultDone);
    EXPECT_EQ(ReadWord(instance, "!00007"), 3);
    for (uint32_t opcode : {kOpPoll, kOpSendData, kOpSendCommand, kOpSetRtuTime}) {
        EXPECT_EQ(gateway->CountRequests(opcode), 0u) << opcode;
    }

    EXPECT_EQ(WriteWord(instance, "!00007", 2), kResultDone);
    EXPECT_EQ(ReadWord(instance, "!00007"), 3) << "2 changes nothing";
    EXPECT_EQ(WriteWord(instance, "!00007", 1), kResultDone);
    EXPECT_EQ(ReadWord(instance, "!00007"), 0) << "enabled, not confirmed";
    EXPECT_EQ(WriteWord(instance, "T00007", 0), kResultDone) << "enabled: the clock is set";
    ASSERT_TRUE(gateway->WaitForRequest(kOpSetRtuTime, 1s));
    EXPECT_TRUE(gateway->ClockOf(kRtu));
}

// A poll of a failed RTU answers its state; with POLL_RESULT=OFF a poll triggered by
// a write answers 0 all the same.
TEST_F(InstanceTest, PollOfAFailedRtuAndPollResultOff) {
    auto gateway = ServeTable(TestAddress(120, 6));
    gateway->SetRtuOnline(kRtu, false);
    Instance& instance = Running(14, TestAddress(120, 6), "", "POLL_RESULT=OFF\n");
    const Gate poll = DefineGate(instance, "P000070050100004");
    ASSERT_TRUE(gateway->WaitForChannels(7, 1, 2s));

    uint8_t value[4] = {};
    EXPECT_EQ(GateIo(instance, kReadGate, poll, value), kResultDone) << "still active";
    ASSERT_TRUE(WaitFor([&] { return ReadWord(instance, "!00007") == 0; }, 5s))
        << "the reply reported the failure";
    EXPECT_EQ(GateIo(instance, kReadGate, poll, value), kResultFailed);
    EXPECT_EQ(GateIo(instance, kWriteGate, poll.address, value), kResultDone);
    EXPECT_TRUE(gateway->WaitForRequest(kOpPoll, 2s, 2)) << "the write polled";
}

TEST_F(InstanceTest, DriverGatesSetCallAndChannelStatus) {
    auto gateway = ServeTable(TestAddress(120, 5));
    gwsim::RtuChannelStatus status;
    status.values = {11, 22, 33};
    gateway->SetRtuChannelStatus(kRtu, status);
    Instance& instance = Running(11, TestAddress(120, 5));
    ASSERT_TRUE(gateway->WaitForChannels(7, 1, 2s));

    EXPECT_EQ(ReadWord(instance, "!ERROR"), 1);
    EXPECT_EQ(ReadWord(instance, "!BACKUP"), 1);
    EXPECT_EQ(ReadWord(instance, "!CMD"), 0);
    EXPECT_EQ(WriteWord(instance, "!BACKUP", 2), kResultNotDone) << "no secondary";
    EXPECT_EQ(WriteWord(instance, "!ERROR", 2), kResultNotDone) << "read-only";

    EXPECT_EQ(WriteWord(instance, "SETCALL.RTU", kRtu), kResultDone);
    EXPECT_EQ(WriteWord(instance, "SETCALL.SD", 0xFFFF), kResultDone);
    EXPECT_EQ(ReadWord(instance, "SETCALL.SD"), 0xFFFF);
    EXPECT_EQ(WriteWord(instance, "SETCALL.EXE", 0), kResultDone);
    ASSERT_FALSE(gateway->SetCalls().empty());
    EXPECT_EQ(gateway->SetCalls().back().rtu, kRtu);
    EXPECT_EQ(gateway->SetCalls().back().sd, 0xFFFF);

    const GateAddress channel = AddressOf(instance, "S00007C");
    uint8_t words[10] = {};
    EXPECT_EQ(GateIo(instance, kReadGateArray, channel, words, 5), kResultDone) << LogText();
    EXPECT_EQ(words[0], 11);
    EXPECT_EQ(words[4], 33);
    EXPECT_EQ(GateIo(instance, kReadGate, channel, words), kResultNotDone);

    // Each kind answers 1 where its request does not apply, and so do kinds no
    // address yields.
    uint8_t value[4] = {};
    for (const char* text : {"T00007", "SETCALL.EXE"}) {
        EXPECT_EQ(GateIo(instance, kReadGate, AddressOf(instance, text), value), kResultNotDone)
            << text;
    }
    EXPECT_EQ(GateIo(instance, kReadGateArray, AddressOf(instance, "!POLL"), value),
              kResultNotDone);
    EXPECT_EQ(GateIo(instance, kWriteGateArray, AddressOf(instance, "SETCALL.QR"), value),
              kResultNotDone);
    for (int32_t code : {kReadGate, kReadGateArray, kWriteGate, kWriteGateArray}) {
        EXPECT_EQ(GateIo(instance, code, GateAddress{kRtu, kGateKindCount, 0, kFixedWord, 32}, value),
                  kResultNotDone)
            << code;
    }
}

TEST_F(InstanceTest, GatewayStatusReadsSwitchOver) {
    auto primary = ServeTable(TestAddress(120, 11));
    auto secondary = ServeTable(TestAddress(120, 12));
    Instance& instance = Running(12, TestAddress(120, 11), TestAddress(120, 12));
    ASSERT_TRUE(secondary->WaitForChannels(7, 1, 2s));

    EXPECT_EQ(ReadWord(instance, "!1") & 5, 1) << LogText();
    EXPECT_EQ(ReadWord(instance, "!2") & 5, 5);

    // Both usable: the operator's switch-over.
    EXPECT_EQ(WriteWord(instance, "!BACKUP", 0), kResultDone) << LogText();
    EXPECT_EQ(ReadWord(instance, "!BACKUP"), 2);
    EXPECT_EQ(secondary->mode(), gwsim::GatewayMode::kActive);

    // The primary claims to be active as well: the gateways are told again.
    primary->SetStatusWord(1);
    EXPECT_EQ(ReadWord(instance, "!1"), 1);
    EXPECT_EQ(Logged(kLogError, "KroGW : Unexepted Primary/Secondary mode !"), 1) << LogText();
    EXPECT_EQ(ReadWord(instance, "!BACKUP"), 1);
    EXPECT_EQ(primary->mode(), gwsim::GatewayMode::kActive);
    EXPECT_EQ(secondary->mode(), gwsim::GatewayMode::kStandby);

    // The active primary falls silent: its status read fails and the traffic moves.
    EXPECT_EQ(ReadWord(instance, "!2") & 5, 5);
    EXPECT_EQ(ReadWord(instance, "!1") & 5, 1);
    primary->Stop();
    uint8_t value[4] = {};
    EXPECT_EQ(GateIo(instance, kReadGate, AddressOf(instance, "!1"), value), kResultFailed);
    EXPECT_EQ(ReadWord(instance, "!BACKUP"), 2);
    EXPECT_EQ(secondary->mode(), gwsim::GatewayMode::kActive);
}

// A secondary that does not answer its status read is closed, never the primary that
// carries the traffic.
TEST_F(InstanceTest, SilentSecondaryLeavesThePrimaryAtWork) {
    auto primary = ServeTable(TestAddress(120, 21));
    Instance& instance = Running(13, TestAddress(120, 21), TestAddress(120, 22));
    const Gate poll = DefineGate(instance, "P000070050100004");
    ASSERT_TRUE(primary->WaitForChannels(7, 1, 2s));

    uint8_t value[4] = {};
    EXPECT_EQ(GateIo(instance, kReadGate, AddressOf(instance, "!2"), value), kResultFailed);
    EXPECT_EQ(GateIo(instance, kReadGate, poll, value), kResultDone) << LogText();
    EXPECT_TRUE(primary->WaitForRequest(kOpPoll, 2s));
}

// Two instances in one process, each with its own configuration, client, gateway and
// values; ending one leaves the other at work.
TEST_F(InstanceTest, TwoInstancesSeeOnlyTheirOwnValues) {
    auto gateway_a = ServeTable(TestAddress(120, 31), 1000);
    auto gateway_b = ServeTable(TestAddress(120, 32), 2000);
    Instance& a = Running(31, TestAddress(120, 31));
    Instance& b = Running(32, TestAddress(120, 32));
    const Gate value_a = DefineGate(a, "00007005010011");
    const Gate value_b = DefineGate(b, "00007005010011");
    const Gate poll_a = DefineGate(a, "P000070050100004");
    const Gate poll_b = DefineGate(b, "P000070050100004");
    ASSERT_TRUE(gateway_a->WaitForChannels(7, 1, 2s));
    ASSERT_TRUE(gateway_b->WaitForChannels(7, 1, 2s));
    ASSERT_NE(ClientOf(31), ClientOf(32));

    uint8_t value[4] = {};
    EXPECT_EQ(GateIo(a, kReadGate, poll_a, value), kResultDone);
    EXPECT_EQ(GateIo(b, kReadGate, poll_b, value), kResultDone);
    EXPECT_TRUE(WaitForValue(value_a, 1011));
    EXPECT_TRUE(WaitForValue(value_b, 2011));

    ASSERT_TRUE(EndInstance(a));
    EXPECT_TRUE(InstanceThreadsRunning(*b.context));
    gateway_b->SetValue(kRtu, kTable, 1, 1, 2222);
    EXPECT_EQ(GateIo(b, kReadGate, poll_b, value), kResultDone);
    EXPECT_TRUE(WaitForValue(value_b, 2222));
    EXPECT_EQ(ValueOf(value_a), 1011);
}

}  // namespace
}  // namespace krogw::test
