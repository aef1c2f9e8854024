// Start-up, switch-over and reconnect against a primary and a secondary simulated
// gateway, and the rule that a closed socket's number is never touched again.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>
#include <cerrno>
#include <chrono>

#include "gateway/hot_backup.h"
#include "gateway/status.h"
#include "tests/e2e/hot_backup_fixture.h"
#include "tests/support/status_reads.h"
#include "tests/support/test_net.h"

namespace krogw::test {
namespace {

using namespace std::chrono_literals;
using gwsim::GatewayMode;

class HotBackupTest : public HotBackupFixture {
  protected:
    // Both gateways serving and connected the way start-up connects them.
    void StartBoth(gwsim::Gateway& primary, gwsim::Gateway& secondary) {
        primary.Start();
        secondary.Start();
        Configure(primary_address_, secondary_address_);
        ASSERT_TRUE(ConnectGateways(*context_)) << LogText();
        primary.ClearRequests();
        secondary.ClearRequests();
        hostsim::ClearLog();
    }

    ExchangeResult StatusOf(int32_t unit) {
        uint8_t value[4] = {};
        GateIoArguments request{};
        request.address = GateAddress{unit, GatewayStatus, 0, kFixedWord, 16};
        request.element_count = 1;
        request.value_buffer = value;
        return QueryGatewayStatusInto(*context_, request);
    }

    const char* primary_address_ = TestAddress(90, 1);
    const char* secondary_address_ = TestAddress(90, 2);
};

TEST_F(HotBackupTest, StartUpMakesThePrimaryActiveAndTheSecondaryStandBy) {
    gwsim::Gateway primary(primary_address_);
    gwsim::Gateway secondary(secondary_address_);
    primary.Start();
    secondary.Start();
    Configure(primary_address_, secondary_address_);

    ASSERT_TRUE(ConnectGateways(*context_)) << LogText();
    EXPECT_TRUE(ActiveSetIs(kPrimaryGateway));
    EXPECT_NE(context_->active_sockets.burst.load(), 0);
    EXPECT_EQ(context_->active_gateway, 1);
    EXPECT_EQ(primary.Channels().size(), 3u);
    EXPECT_EQ(secondary.Channels().size(), 3u);
    EXPECT_EQ(context_->secondary_sockets.channel_id, secondary.Channels()[2].id);
    EXPECT_EQ(ModesSent(primary), (std::vector<int>{0, 0})) << "on its status, then its sync";
    EXPECT_EQ(ModesSent(secondary), (std::vector<int>{1}));
    EXPECT_EQ(primary.mode(), GatewayMode::kActive);
    EXPECT_EQ(secondary.mode(), GatewayMode::kStandby);
    EXPECT_EQ(Logged(kLogError, "KroGW : Open Secondary GW status channel success ! (KRO #12)"), 1)
        << LogText();
}

TEST_F(HotBackupTest, StartUpWithAnUnreachablePrimary) {
    struct Case {
        const char* what;
        bool secondary;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"without a secondary", false, {"KroGW : Fail to Init Primary GateWay"}},
        {"with a secondary",
         true,
         {"KroGW : Fail to Init Primary GateWay", "KroGW : Fail to change the GateWay Mode",
          "KroGW : Can not set to Primary mode"}},
    };
    gwsim::Gateway secondary(TestAddress(90, 4));
    secondary.Start();
    for (const Case& c : cases) {
        SetUp();
        Configure(TestAddress(90, 3), c.secondary ? TestAddress(90, 4) : nullptr);
        EXPECT_FALSE(ConnectGateways(*context_)) << c.what;
        for (const std::string& line : c.lines) {
            EXPECT_EQ(Logged(kLogError, line), 1) << c.what << ": " << line << LogText();
        }
        EXPECT_EQ(Logged(kLogError, std::string("KroGW : Connection failed (Gateway ") +
                                        TestAddress(90, 3) + ")"),
                  1)
            << c.what;
        EXPECT_EQ(context_->active_gateway, 1) << c.what;
        EXPECT_EQ(context_->active_sockets.status, 0) << c.what;
        EXPECT_EQ(context_->active_sockets.sync, 0) << c.what;
        EXPECT_EQ(context_->active_sockets.burst, 0) << c.what;
        EXPECT_EQ(context_->primary_sockets.status, 0) << c.what;
        EXPECT_EQ(context_->secondary_sockets.burst != 0, c.secondary) << c.what;
        TearDown();
    }
    EXPECT_EQ(secondary.mode(), GatewayMode::kStandby);
}

// While the host is the standby nothing is told to either gateway, and a switch-over
// still completes.
TEST_F(HotBackupTest, HostInBackupModeTellsNeitherGateway) {
    gwsim::Gateway primary(primary_address_);
    gwsim::Gateway secondary(secondary_address_);
    primary.Start();
    secondary.Start();
    Configure(primary_address_, secondary_address_);
    hostsim::SetBackupMode(1);

    EXPECT_TRUE(ConnectGateways(*context_)) << LogText();
    EXPECT_TRUE(ActiveSetIs(kPrimaryGateway));
    EXPECT_EQ(SwitchGateway(*context_, kManualSwitch), 0);
    EXPECT_EQ(context_->active_gateway, 2);
    EXPECT_EQ(context_->gateway_ok, 2);
    EXPECT_EQ(context_->primary_mode_value, 5);
    EXPECT_EQ(context_->secondary_mode_value, 1);
    EXPECT_TRUE(ActiveSetIs(kSecondaryGateway));
    EXPECT_TRUE(ModesSent(primary).empty());
    EXPECT_TRUE(ModesSent(secondary).empty());
    hostsim::SetBackupMode(0);
}

TEST_F(HotBackupTest, SwitchOverBothWaysAutomaticAndManual) {
    gwsim::Gateway primary(primary_address_);
    gwsim::Gateway secondary(secondary_address_);
    for (const uint8_t manual : {kAutomaticSwitch, kManualSwitch}) {
        SetUp();
        StartBoth(primary, secondary);
        const char* how = manual == kManualSwitch ? "manual" : "automatic";

        SetFlowCounters(4);
        EXPECT_EQ(SwitchGateway(*context_, manual), 0) << how << LogText();
        EXPECT_EQ(Logged(kLogError, "KroGW : 4 queued polls dropped by the gateway change"), 1)
            << how;
        EXPECT_EQ(context_->active_gateway, 2) << how;
        EXPECT_EQ(context_->gateway_ok, 2) << how;
        EXPECT_EQ(context_->primary_mode_value, 5) << how;
        EXPECT_EQ(context_->secondary_mode_value, 1) << how;
        EXPECT_EQ(context_->hot_backup_running, 0) << how;
        EXPECT_EQ(FlowCounters(), AfterChange(4)) << how;
        EXPECT_TRUE(ActiveSetIs(kSecondaryGateway)) << how;
        EXPECT_EQ(context_->primary_sockets.status != 0, manual == kManualSwitch)
            << how << ": only an automatic switch-over closes the old status socket";
        EXPECT_NE(context_->primary_sockets.sync.load(), 0) << how;
        EXPECT_EQ(secondary.mode(), GatewayMode::kActive) << how;
        EXPECT_EQ(primary.mode(), GatewayMode::kStandby) << how;
        EXPECT_EQ(Logged(kLogError, manual == kManualSwitch
                                        ? "KroGW : Start Hot Backup process (Manual)"
                                        : "KroGW : Start Hot Backup process (Automatic)"),
                  1)
            << how;
        EXPECT_EQ(Logged(kLogError, "KroGW : Hot Backup process completed (1->2)"), 1) << how;

        SetFlowCounters(2);
        EXPECT_EQ(SwitchGateway(*context_, manual), 0) << how << LogText();
        EXPECT_EQ(context_->active_gateway, 1) << how;
        EXPECT_EQ(context_->gateway_ok, 1) << how;
        EXPECT_EQ(context_->primary_mode_value, 1) << how;
        EXPECT_EQ(context_->secondary_mode_value, 5) << how;
        EXPECT_EQ(FlowCounters(), AfterChange(2)) << how;
        EXPECT_TRUE(ActiveSetIs(kPrimaryGateway)) << how;
        EXPECT_EQ(context_->secondary_sockets.status != 0, manual == kManualSwitch) << how;
        EXPECT_EQ(primary.mode(), GatewayMode::kActive) << how;
        EXPECT_EQ(secondary.mode(), GatewayMode::kStandby) << how;
        EXPECT_EQ(Logged(kLogError, "KroGW : Hot Backup process completed (2->1)"), 1) << how;
        TearDown();
    }
}

TEST_F(HotBackupTest, RefusedSwitchOverLeavesTheActiveSetOnTheOtherGateway) {
    gwsim::Gateway primary(primary_address_);
    gwsim::Gateway secondary(secondary_address_);
    StartBoth(primary, secondary);

    secondary.faults().OverrideResult(kOpSetMode, 5, 1);
    SetFlowCounters(3);
    EXPECT_EQ(SwitchGateway(*context_, kAutomaticSwitch), 1);
    EXPECT_EQ(context_->active_gateway, 1);
    EXPECT_TRUE(ActiveSetIs(kSecondaryGateway));
    EXPECT_EQ(context_->gateway_ok, 3);
    EXPECT_EQ(context_->hot_backup_running, 0);
    EXPECT_EQ(FlowCounters(), AfterChange(3));
    EXPECT_NE(context_->primary_sockets.status.load(), 0);
    for (const char* line :
         {"KroGW : Fail to send Mode cmd (5)", "KroGW : Can not switch secondary to Primary(1>2)!",
          "KroGW : Restart tcp/ip, rc=0", "KroGW : CleanUp tcp/ip, rc=0"}) {
        EXPECT_EQ(Logged(kLogError, line), 1) << line << LogText();
    }

    // From 2 to 1, with the primary gone: the result is 0 all the same.
    ASSERT_EQ(SwitchGateway(*context_, kManualSwitch), 0);
    ASSERT_EQ(context_->active_gateway, 2);
    primary.Stop();
    hostsim::ClearLog();
    EXPECT_EQ(SwitchGateway(*context_, kAutomaticSwitch), 0);
    EXPECT_EQ(context_->active_gateway, 2);
    EXPECT_EQ(context_->primary_mode_value, 5);
    EXPECT_EQ(Logged(kLogError, "KroGW : Can not switch secondary to Primary(2>1)!"), 1)
        << LogText();
    EXPECT_EQ(Logged(kLogError, "KroGW : Restart tcp/ip, rc=0"), 0);
    EXPECT_EQ(context_->active_sockets.sync, context_->primary_sockets.sync);
}

TEST_F(HotBackupTest, ReconnectClearsTheCountersOnlyOfTheActiveGateway) {
    gwsim::Gateway primary(primary_address_);
    gwsim::Gateway secondary(secondary_address_);
    StartBoth(primary, secondary);

    SetFlowCounters(5);
    EXPECT_EQ(Reconnect(SecondaryGatewayUnit), 0) << LogText();
    EXPECT_EQ(FlowCounters(), std::vector<int>(4, 5)) << "the standby gateway carried none";
    EXPECT_EQ(secondary.Channels().size(), 6u);
    EXPECT_EQ(ModesSent(secondary), (std::vector<int>{1}));
    EXPECT_TRUE(ActiveSetIs(kPrimaryGateway));

    EXPECT_EQ(Reconnect(PrimaryGatewayUnit), 0) << LogText();
    EXPECT_EQ(FlowCounters(), AfterChange(5));
    EXPECT_TRUE(ActiveSetIs(kPrimaryGateway)) << "the new sockets are the active ones";
    EXPECT_EQ(primary.Channels().size(), 6u);

    SetFlowCounters(5);
    EXPECT_EQ(Reconnect(0x1234), 0);
    EXPECT_EQ(FlowCounters(), std::vector<int>(4, 5));

    // The active secondary, gone: the polls in flight are forgotten before reopening.
    ASSERT_EQ(SwitchGateway(*context_, kManualSwitch), 0);
    SetFlowCounters(5);
    secondary.Stop();
    EXPECT_EQ(Reconnect(SecondaryGatewayUnit), 1);
    EXPECT_EQ(FlowCounters(), (std::vector<int>{0, 5, 5, 5}));
    EXPECT_EQ(context_->active_sockets.burst, 0) << "closed with its gateway";
    secondary.Start();
    EXPECT_EQ(Reconnect(SecondaryGatewayUnit), 0)
        << "no hold-off after a failed connection" << LogText();
    EXPECT_EQ(FlowCounters(), AfterChange(5));
    EXPECT_TRUE(ActiveSetIs(kSecondaryGateway));
    EXPECT_EQ(secondary.mode(), GatewayMode::kActive);
}

TEST_F(HotBackupTest, AfterASwitchOverBothMustAnswerAgainBeforeTheNext) {
    gwsim::Gateway primary(primary_address_);
    gwsim::Gateway secondary(secondary_address_);
    StartBoth(primary, secondary);
    EXPECT_TRUE(BothGatewaysUsable(*context_));

    ASSERT_EQ(SwitchGateway(*context_, kAutomaticSwitch), 0);
    EXPECT_FALSE(BothGatewaysUsable(*context_));
    EXPECT_EQ(StatusOf(SecondaryGatewayUnit), kExchangeDone);
    EXPECT_EQ(StatusOf(PrimaryGatewayUnit), kExchangeFailed) << "its status socket was closed";
    EXPECT_FALSE(BothGatewaysUsable(*context_));

    ASSERT_EQ(Reconnect(PrimaryGatewayUnit), 0) << LogText();
    EXPECT_FALSE(BothGatewaysUsable(*context_));
    EXPECT_EQ(StatusOf(PrimaryGatewayUnit), kExchangeDone);
    EXPECT_TRUE(BothGatewaysUsable(*context_));
    EXPECT_EQ(context_->primary_mode_value, 5) << "the primary stands by";
    EXPECT_EQ(context_->secondary_mode_value, 1);
}

// The system gives a closed socket's number to the next socket; the driver must never
// shut down, close or use that new socket through its old slots.
TEST_F(HotBackupTest, AClosedSocketsNumberReusedElsewhereIsNeverTouched) {
    gwsim::Gateway primary(primary_address_);
    gwsim::Gateway secondary(secondary_address_);
    StartBoth(primary, secondary);
    const PlatformSocket closed = context_->primary_sockets.status.load();
    ASSERT_EQ(SwitchGateway(*context_, kAutomaticSwitch), 0);
    ASSERT_EQ(context_->primary_sockets.status, 0);

    ASSERT_EQ(fcntl(closed, F_GETFD), -1) << "the driver closed it";
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    if (pair[0] != closed) {
        ASSERT_EQ(dup2(pair[0], closed), closed);
        close(pair[0]);
    }

    EXPECT_EQ(StatusOf(PrimaryGatewayUnit), kExchangeFailed);
    primary.Stop();
    EXPECT_EQ(Reconnect(PrimaryGatewayUnit), 1);
    primary.Start();
    EXPECT_EQ(Reconnect(PrimaryGatewayUnit), 0) << LogText();
    EXPECT_EQ(SwitchGateway(*context_, kAutomaticSwitch), 0);
    CloseGatewaySockets(*context_, kPrimaryGateway);
    CloseGatewaySockets(*context_, kSecondaryGateway);

    char byte = 'x';
    EXPECT_EQ(write(closed, &byte, 1), 1) << "still open and not shut down";
    EXPECT_EQ(read(pair[1], &byte, 1), 1);
    EXPECT_EQ(write(pair[1], &byte, 1), 1);
    EXPECT_EQ(read(closed, &byte, 1), 1);
    close(closed);
    close(pair[1]);
}

}  // namespace
}  // namespace krogw::test
