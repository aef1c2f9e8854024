// The driver's channel and status exchanges against the gateway simulator, over
// real loopback connections on port 5001.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "gateway/channel.h"
#include "gateway/requests.h"
#include "gateway/status.h"
#include "tests/gateway/gateway_fixture.h"
#include "tests/support/status_reads.h"
#include "tests/support/test_net.h"
#include "tools/gwsim/gwsim.h"

namespace krogw::test {
namespace {

using namespace std::chrono_literals;

constexpr uint8_t kStatusOrSync = 0;
constexpr uint8_t kBurst = 7;

class GatewayExchangeTest : public GatewayFixture {
  protected:
    // Opens the three channels of the primary gateway the way start-up does.
    bool OpenPrimaryChannels(const char* address) {
        return OpenChannel(kStatusOrSync, context_->primary_sockets.status, address,
                           context_->primary_sockets.channel_id, *context_) &&
               OpenChannel(kStatusOrSync, context_->primary_sockets.sync, address,
                           context_->primary_sockets.channel_id, *context_) &&
               OpenChannel(kBurst, context_->primary_sockets.burst, address,
                           context_->primary_sockets.channel_id, *context_);
    }

    GateIoArguments StatusRead(int32_t unit) {
        GateIoArguments request{};
        request.address = GateAddress{unit, GatewayStatus, 0, kFixedWord, 32};
        request.element_count = 1;
        request.value_buffer = value_;
        return request;
    }

    uint16_t ValueWord() const { return static_cast<uint16_t>(value_[2] | value_[3] << 8); }

    uint8_t value_[16] = {};
};

TEST_F(GatewayExchangeTest, ThreeChannelsOpenAndCloseWithTheBurstChannelsId) {
    gwsim::Gateway gateway(TestAddress(60, 1));
    gateway.Start();
    ASSERT_TRUE(OpenPrimaryChannels(TestAddress(60, 1))) << LogText();

    ASSERT_TRUE(gateway.WaitForChannels(kBurst, 1, 2s));
    const auto channels = gateway.Channels();
    ASSERT_EQ(channels.size(), 3u);
    EXPECT_NE(channels[0].id, channels[1].id);
    EXPECT_NE(channels[1].id, channels[2].id);
    EXPECT_EQ(context_->primary_sockets.channel_id, channels[2].id)
        << "the last one opened names the gateway";

    const auto open = gateway.WaitForRequest(kOpOpenChannel, 1s);
    ASSERT_TRUE(open.has_value());
    const std::string name(reinterpret_cast<const char*>(open->bytes.data() + 37));
    EXPECT_EQ(name, "QIV_12_345");

    ASSERT_TRUE(CloseChannel(context_->primary_sockets, *context_));
    const auto close = gateway.WaitForRequest(kOpCloseChannel, 1s);
    ASSERT_TRUE(close.has_value());
    EXPECT_EQ(close->U16(36), context_->primary_sockets.channel_id.load());
    EXPECT_EQ(Logged(kLogError, "kroGW : Close Channel Id " +
                                    std::to_string(context_->primary_sockets.channel_id.load()) +
                                    " Pass"),
              1);
    EXPECT_EQ(context_->primary_sockets.status, 0);
    EXPECT_EQ(context_->primary_sockets.sync, 0);
    EXPECT_EQ(context_->primary_sockets.burst, 0);
}

TEST_F(GatewayExchangeTest, RefusedOrMismatchedOpenChannelFails) {
    gwsim::Gateway gateway(TestAddress(60, 2));
    gateway.faults().OverrideResult(kOpOpenChannel, 5, 1);
    gateway.Start();
    EXPECT_FALSE(OpenChannel(kStatusOrSync, context_->primary_sockets.status, TestAddress(60, 2),
                             context_->primary_sockets.channel_id, *context_));
    EXPECT_EQ(Logged(kLogError, "kroGW : Fail to recv Channel type msg (5)"), 1) << LogText();
    EXPECT_EQ(context_->primary_sockets.status, 0) << "a socket never announced is not kept";

    // A burst channel answered as if it were a status channel.
    gateway.faults().OverrideByte(kOpOpenChannel, 38, 0, 1);
    EXPECT_FALSE(OpenChannel(kBurst, context_->primary_sockets.burst, TestAddress(60, 2),
                             context_->primary_sockets.channel_id, *context_));
    EXPECT_EQ(Logged(kLogError, "kroGW : Recv Ch Id 0 - not match"), 1) << LogText();
    EXPECT_EQ(context_->primary_sockets.channel_id, 0)
        << "no channel id is taken from a refused reply";
}

TEST_F(GatewayExchangeTest, RefusedConnectionsAreLoggedOncePerInstance) {
    gwsim::Gateway gateway(TestAddress(60, 3));
    gateway.faults().RefuseConnections(true);
    gateway.Start();
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_FALSE(OpenChannel(kStatusOrSync, context_->primary_sockets.status,
                                 TestAddress(60, 3), context_->primary_sockets.channel_id,
                                 *context_));
    }
    EXPECT_EQ(Logged(kLogError,
                     std::string("KroGW : Connection failed (Gateway ") + TestAddress(60, 3) + ")"),
              1);
    // The other gateway's failure is not logged again either.
    EXPECT_FALSE(OpenChannel(kStatusOrSync, context_->secondary_sockets.status, TestAddress(60, 4),
                             context_->secondary_sockets.channel_id, *context_));
    EXPECT_EQ(Logged(kLogError,
                     std::string("KroGW : Connection failed (Gateway ") + TestAddress(60, 4) + ")"),
              0);
    EXPECT_EQ(context_->primary_sockets.status, 0);

    // Once the gateway accepts again, the instance connects.
    gateway.faults().RefuseConnections(false);
    bool opened = false;
    for (int attempt = 0; attempt < 5 && !opened; ++attempt) {
        PlatformSleepMs(100);  // the simulator listens again within a moment
        opened = OpenChannel(kStatusOrSync, context_->primary_sockets.status, TestAddress(60, 3),
                             context_->primary_sockets.channel_id, *context_);
    }
    EXPECT_TRUE(opened) << LogText();
}

// The mode the driver sets comes back in the bits 0 and 2 of the status word, which
// become the gateway's mode value.
TEST_F(GatewayExchangeTest, SetModeShowsInTheStatusWordUnlessTheHostIsStandby) {
    gwsim::Gateway gateway(TestAddress(60, 5));
    gateway.Start();
    ASSERT_TRUE(OpenPrimaryChannels(TestAddress(60, 5)));
    const PlatformSocket sync = context_->primary_sockets.sync;
    const uint16_t id = context_->primary_sockets.channel_id;
    GateIoArguments primary = StatusRead(PrimaryGatewayUnit);

    EXPECT_EQ(SetGatewayMode(*context_, id, sync, kGatewayModeSecondary), kExchangeDone);
    EXPECT_EQ(gateway.mode(), gwsim::GatewayMode::kStandby);
    EXPECT_EQ(QueryGatewayStatusInto(*context_, primary), kExchangeDone) << LogText();
    EXPECT_EQ(ValueWord() & 5, 5);
    EXPECT_EQ(context_->primary_mode_value, 5);
    EXPECT_EQ(context_->gateway_ok, 1);

    EXPECT_EQ(SetGatewayMode(*context_, id, sync, kGatewayModePrimary), kExchangeDone);
    EXPECT_EQ(QueryGatewayStatusInto(*context_, primary), kExchangeDone);
    EXPECT_EQ(context_->primary_mode_value, 1);

    // Other status bits pass to the value word; only bits 0 and 2 make the mode value.
    gateway.SetStatusWord(0x0007);
    EXPECT_EQ(QueryGatewayStatusInto(*context_, primary), kExchangeDone);
    EXPECT_EQ(ValueWord(), 7);
    EXPECT_EQ(context_->primary_mode_value, 5);

    hostsim::SetBackupMode(1);
    gateway.ClearRequests();
    EXPECT_EQ(SetGatewayMode(*context_, id, sync, kGatewayModeSecondary), kExchangeDone);
    EXPECT_FALSE(gateway.WaitForRequest(kOpSetMode, 200ms).has_value()) << "nothing is sent";
    EXPECT_EQ(gateway.mode(), gwsim::GatewayMode::kActive);
}

TEST_F(GatewayExchangeTest, RtuChannelStatusValuesComeFromTheActiveGateway) {
    gwsim::Gateway gateway(TestAddress(60, 7));
    gateway.DefineRtu(42);
    gateway.SetRtuChannelStatus(42, gwsim::RtuChannelStatus{{7, 0, 200}, false, true});
    gateway.Start();
    ASSERT_TRUE(OpenPrimaryChannels(TestAddress(60, 7)));
    context_->active_sockets.status = context_->primary_sockets.status.load();
    context_->active_sockets.channel_id = context_->primary_sockets.channel_id.load();

    GateIoArguments request{};
    request.address = GateAddress{42, RtuChannelStatus, 1, kFixedWord, 16};
    request.element_count = 5;
    request.value_buffer = value_;
    ASSERT_EQ(QueryRtuChannelStatusInto(*context_, request), kExchangeDone) << LogText();
    const uint16_t expected[5] = {7, 0, 200, 0, 1};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(value_[2 * i] | value_[2 * i + 1] << 8, expected[i]) << "value " << i + 1;
    }
    const auto sent = gateway.WaitForRequest(kOpRtuChannelStatus, 1s);
    ASSERT_TRUE(sent.has_value());
    EXPECT_EQ(sent->U16(36), 42);
    EXPECT_EQ(sent->bytes.size(), 52u);
}

}  // namespace
}  // namespace krogw::test
