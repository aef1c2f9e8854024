// The statistics gates against what the simulated gateways saw and sent in a scripted
// run: every count exact, losses once per loss, switch-overs for the gateway made
// active, and times that move as time does.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <string>

#include "context/statistics.h"
#include "gateway/frame.h"
#include "tests/e2e/instance_fixture.h"
#include "tests/support/test_net.h"

namespace krogw::test {
namespace {

constexpr uint16_t kRtu = 7;
constexpr uint8_t kTable = 5;
constexpr int kRows = 4;
constexpr int kColumns = 2;
constexpr uint32_t kNever = 0xFFFFFFFFu;

class StatisticsTest : public InstanceFixture {
  protected:
    static std::unique_ptr<gwsim::Gateway> ServeTable(const std::string& address) {
        auto gateway = std::make_unique<gwsim::Gateway>(address);
        gateway->DefineTableType(1, gwsim::ParseTableType("3,3,0"));
        gateway->DefineTable(kRtu, kTable, 1, kRows);
        gateway->Start();
        return gateway;
    }

    Instance& Running(int32_t number, const std::string& primary, const std::string& secondary,
                      const std::string& extra = "") {
        std::string text = "PRIMARY=" + primary + "\n";
        if (!secondary.empty()) {
            text += "SECONDARY=" + secondary + "\n";
        }
        WriteConfiguration(number, text + "1=3,3,0\nRTU_INITIAL_STATE=ON\n" + extra);
        Instance& instance = NewInstance(number);
        EXPECT_EQ(Start(instance, 1), kResultDone) << LogText();
        return instance;
    }

    // A gate for every element of the table, so that each element sent is stored; the
    // last one.
    Gate DefineEveryElement(const Instance& instance) {
        Gate gate;
        for (int row = 0; row < kRows; ++row) {
            for (int column = 0; column < kColumns; ++column) {
                char text[20];
                std::snprintf(text, sizeof text, "%05u%03u01%03d%1d", kRtu, kTable, row, column);
                gate = DefineGate(instance, text);
                EXPECT_NE(gate.id, 0) << text;
            }
        }
        return gate;
    }

    static uint32_t Read(const Instance& instance, const std::string& name) {
        uint8_t value[4] = {};
        const GateAddress address = AddressOf(instance, name.c_str());
        EXPECT_EQ(GateIo(instance, kReadGate, address, value), kResultDone) << name;
        uint32_t word = 0;
        std::memcpy(&word, value, sizeof word);
        return word;
    }

    static uint64_t Bytes(const std::vector<gwsim::RecordedRequest>& messages) {
        return std::accumulate(messages.begin(), messages.end(), uint64_t{0},
                               [](uint64_t sum, const auto& m) { return sum + m.bytes.size(); });
    }
};

TEST_F(StatisticsTest, CountsAreWhatTheGatewaySawAndSent) {
    auto gateway = ServeTable(TestAddress(170, 1));
    Instance& instance = Running(31, TestAddress(170, 1), "", "CMD_RESPONSE_TIME=300\n");
    const Gate element = DefineEveryElement(instance);
    const Gate poll = DefineGate(instance, "P000070050100004");
    ASSERT_TRUE(gateway->WaitForChannels(7, 1, 2s));
    EXPECT_EQ(Read(instance, "!00007.AGE"), kNever) << "no value stored yet";
    EXPECT_LT(Read(instance, "!1.SILENT"), 2000u);

    uint8_t value[4] = {};
    constexpr int kPolls = 3;
    for (int index = 0; index < kPolls; ++index) {
        ASSERT_EQ(GateIo(instance, kReadGate, poll, value), kResultDone);
        ASSERT_TRUE(gateway->WaitForRequest(kOpPoll, 2s, static_cast<size_t>(index)));
    }
    constexpr int kBursts = 2;
    for (int index = 0; index < kBursts; ++index) {
        ASSERT_EQ(gateway->SendBurst({gwsim::BurstSection::Rows(kRtu, kTable, 1, 2)}), 1);
    }
    // One write confirmed slowly, one refused, one never confirmed: answered in time,
    // refused, and late for good.
    gateway->faults().DelayReply(kOpSendCommand, 120, 1);
    EXPECT_EQ(Write32(instance, element, 11), kResultDone) << LogText();
    gateway->faults().OverrideResult(kOpSendCommand, 129, 1);
    EXPECT_NE(Write32(instance, element, 12), kResultDone);
    gateway->faults().DropReply(kOpSendCommand, 1);
    Write32(instance, element, 13);

    const size_t poll_values = static_cast<size_t>(kPolls * kRows * kColumns);
    const size_t burst_values = static_cast<size_t>(kBursts * 2 * kColumns);
    ASSERT_TRUE(
        WaitFor([&] { return Read(instance, "!00007.VALUES") == poll_values + burst_values; }, 5s))
        << Read(instance, "!00007.VALUES") << LogText();
    ASSERT_TRUE(WaitFor([&] { return Read(instance, "!1.RXMSG") == gateway->Sent().size(); }, 5s));

    const auto requests = gateway->Requests();
    ASSERT_EQ(gateway->RequestsFallenOut(), 0u);
    EXPECT_EQ(Read(instance, "!1.TXMSG"), requests.size());
    EXPECT_EQ(Read(instance, "!1.TXBYTES"), Bytes(requests));
    EXPECT_EQ(Read(instance, "!1.RXBYTES"), Bytes(gateway->Sent()));
    EXPECT_EQ(Read(instance, "!1.CONNECTS"), 1u);
    EXPECT_EQ(Read(instance, "!1.CONNFAIL"), 0u);
    EXPECT_EQ(Read(instance, "!1.DROPS"), 0u);
    EXPECT_EQ(Read(instance, "!1.SWITCHES"), 0u) << "the choice at start-up is no switch-over";
    EXPECT_EQ(Read(instance, "!1.BADMSG"), 0u);
    EXPECT_EQ(Read(instance, "!1.TIMEOUTS"), 1u) << "the write never confirmed";
    EXPECT_GE(Read(instance, "!1.RTTMAX"), 120u);
    EXPECT_LE(Read(instance, "!1.RTTAVG"), Read(instance, "!1.RTTMAX"));
    EXPECT_LT(Read(instance, "!1.SILENT"), 2000u);

    EXPECT_EQ(Read(instance, "!00007.POLLS"), gateway->CountRequests(kOpPoll));
    EXPECT_EQ(Read(instance, "!00007.POLLOK"), static_cast<uint32_t>(kPolls));
    EXPECT_EQ(Read(instance, "!00007.POLLFAIL"), 0u);
    EXPECT_EQ(Read(instance, "!00007.BURSTS"), static_cast<uint32_t>(kBursts));
    EXPECT_EQ(Read(instance, "!00007.WRITES"), gateway->CountRequests(kOpSendCommand));
    EXPECT_EQ(Read(instance, "!00007.WRITEOK"), 1u);
    EXPECT_EQ(Read(instance, "!00007.WRITEFAIL"), 1u);
    EXPECT_EQ(Read(instance, "!00007.WRLATE"), 0u);
    EXPECT_LE(Read(instance, "!00007.AGE"), 1u);
    EXPECT_EQ(Read(instance, "!00008.AGE"), kNever) << "an RTU nothing came from";
    EXPECT_EQ(Read(instance, "!00008.VALUES"), 0u);

    // The write still waiting is lost when the gateway's channels are reopened.
    ReconnectArguments primary_unit{PrimaryGatewayUnit};
    EXPECT_EQ(Call(instance, kReconnectGateway, &primary_unit), kResultDone) << LogText();
    EXPECT_EQ(Read(instance, "!00007.WRLOST"), 1u);
    EXPECT_EQ(Read(instance, "!1.CONNECTS"), 2u);
    EXPECT_EQ(Read(instance, "!1.DROPS"), 0u) << "a reconnect asked for is no loss";

    // Statistics are read only.
    EXPECT_EQ(GateIo(instance, kWriteGate, AddressOf(instance, "!1.TXMSG"), value), kResultNotDone);
}

TEST_F(StatisticsTest, ALossCountsOnceAndTheSwitchOverCountsForTheGatewayMadeActive) {
    auto primary = ServeTable(TestAddress(170, 11));
    auto secondary = ServeTable(TestAddress(170, 12));
    Instance& instance = Running(32, TestAddress(170, 11), TestAddress(170, 12));
    ASSERT_TRUE(secondary->WaitForChannels(7, 1, 2s));
    EXPECT_EQ(Read(instance, "!2.CONNECTS"), 1u);

    // The gateway closes all three channels: one loss, found by the threads that read them.
    primary->CloseAllConnections();
    ASSERT_TRUE(WaitFor([&] { return Read(instance, "!1.DROPS") == 1u; }, 5s)) << LogText();
    EXPECT_EQ(Read(instance, "!1.UP"), 0u);
    // The status read that fails finds the same loss, and the traffic moves.
    uint8_t value[4] = {};
    EXPECT_EQ(GateIo(instance, kReadGate, AddressOf(instance, "!1"), value), kResultFailed);
    EXPECT_EQ(ReadWord(instance, "!BACKUP"), 2);
    EXPECT_EQ(Read(instance, "!1.DROPS"), 1u);
    EXPECT_EQ(Read(instance, "!2.SWITCHES"), 1u);
    EXPECT_EQ(Read(instance, "!1.SWITCHES"), 0u);
    EXPECT_EQ(Read(instance, "!2.DROPS"), 0u);

    // A reconnect that cannot connect counts a failed attempt, one that can a set opened.
    primary->Stop();
    ReconnectArguments primary_unit{PrimaryGatewayUnit};
    EXPECT_NE(Call(instance, kReconnectGateway, &primary_unit), kResultDone);
    EXPECT_EQ(Read(instance, "!1.CONNFAIL"), 1u);
    EXPECT_EQ(Read(instance, "!1.CONNECTS"), 1u);
    primary->Start();
    EXPECT_EQ(Call(instance, kReconnectGateway, &primary_unit), kResultDone) << LogText();
    EXPECT_EQ(Read(instance, "!1.CONNECTS"), 2u);
    EXPECT_EQ(Read(instance, "!1.DROPS"), 1u);
}

TEST_F(StatisticsTest, AddressesAreCheckedLikeEveryOther) {
    auto gateway = ServeTable(TestAddress(170, 21));
    Instance& single = Running(33, TestAddress(170, 21), "");
    int32_t result = kResultDone;
    for (const char* refused : {"!2.UP", "!1.NOPE", "!1.UPX", "!00000.AGE", "!00001.AGEX", "!1.AGE",
                                "!00001.UP", "!1. UP", "!00001.AGE X"}) {
        test::AddressOf(single, refused, &result);
        EXPECT_EQ(result, kResultNotDone) << refused;
    }
    for (const char* accepted : {"!1.UP", "!1.CONNFAIL", "!65535.WRITEFAIL", "!00001.AGE"}) {
        test::AddressOf(single, accepted, &result);
        EXPECT_EQ(result, kResultDone) << accepted;
    }
    // An address the host hands back altered is refused, never read out of the table.
    uint8_t value[4] = {};
    for (const GateAddress& altered :
         {GateAddress{PrimaryGatewayUnit, GatewayStatistic, kStatisticCount, kFixedWord, 32},
          GateAddress{PrimaryGatewayUnit, GatewayStatistic, StatAge, kFixedWord, 32},
          GateAddress{kRtu, GatewayStatistic, StatUp, kFixedWord, 32},
          GateAddress{kRtu, RtuStatistic, StatUp, kFixedWord, 32},
          GateAddress{kRtu, RtuStatistic, -1, kFixedWord, 32}}) {
        EXPECT_EQ(GateIo(single, kReadGate, altered, value), kResultNotDone)
            << altered.unit_id << " " << altered.subaddress;
    }
}

}  // namespace
}  // namespace krogw::test
