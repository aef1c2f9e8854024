// Each fault the simulator can commit, observed from a raw client.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "tests/gwsim/gw_client.h"
#include "tests/support/test_net.h"
#include "tools/gwsim/gwsim.h"

namespace gwsim::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int ElapsedMs(Clock::time_point since) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

Bytes StatusRequest() {
    return Message(krogw::kOpGatewayStatus, 0, {});
}

Bytes ChannelStatusRequest() {
    Bytes body(16, 0);
    krogw::PutU16(body.data(), 1);
    return Message(krogw::kOpRtuChannelStatus, 0, body);
}

class GwsimFaults : public ::testing::Test {
  protected:
    void Serve(const char* address) {
        address_ = address;
        gw_ = std::make_unique<Gateway>(address);
        gw_->DefineTableType(1, ParseTableType("2,0"));
        gw_->DefineTable(1, 5, 1, 4);
        gw_->Start();
        client_ = std::make_unique<GwClient>(address);
        ASSERT_TRUE(client_->connected());
    }

    std::string address_;
    std::unique_ptr<Gateway> gw_;
    std::unique_ptr<GwClient> client_;
};

TEST_F(GwsimFaults, DelayedReplyComesLateWithoutHoldingUpLaterOnes) {
    Serve(krogw::test::TestAddress(50, 40));
    gw_->faults().DelayReply(krogw::kOpGatewayStatus, 400);
    const auto start = Clock::now();
    client_->Send(StatusRequest());
    client_->Send(ChannelStatusRequest());
    const auto first = client_->Receive();
    ASSERT_TRUE(first);
    EXPECT_EQ(FrameOf(*first).command.opcode, 0x8000000Au);
    EXPECT_LT(ElapsedMs(start), 300);
    const auto late = client_->Receive();
    ASSERT_TRUE(late);
    EXPECT_EQ(FrameOf(*late).command.opcode, 0x80000009u);
    EXPECT_GE(ElapsedMs(start), 400);
}

TEST_F(GwsimFaults, DroppedReplyCountsItsUsesButTheRequestIsStillHandled) {
    Serve(krogw::test::TestAddress(50, 41));
    gw_->faults().DropReply(krogw::kOpSendCommand, 1);
    const Bytes write = Message(krogw::kOpSendCommand, 0, RangeBody(1, 5, 2, 1, 0, 1, {0, 9}));
    EXPECT_FALSE(client_->Exchange(write, 300));
    EXPECT_EQ(gw_->Value(1, 5, 2, 0), 9u);
    EXPECT_TRUE(gw_->WaitForRequest(krogw::kOpSendCommand, 100ms));
    EXPECT_TRUE(client_->Exchange(write));
}

TEST_F(GwsimFaults, ResetInsteadOfReplyEndsTheConnectionAfterHandlingTheRequest) {
    Serve(krogw::test::TestAddress(50, 60));
    gw_->faults().ResetInsteadOfReply(krogw::kOpSendCommand, 1);
    ASSERT_NE(client_->OpenChannel(0), 0);
    const Bytes write = Message(krogw::kOpSendCommand, 0, RangeBody(1, 5, 2, 1, 0, 1, {0, 9}));
    client_->Send(write);
    EXPECT_TRUE(client_->WaitClosed(1000)) << "no reply, the connection ends";
    EXPECT_EQ(gw_->Value(1, 5, 2, 0), 9u) << "the write was taken before the reset";
    EXPECT_EQ(gw_->CountRequests(krogw::kOpSendCommand), 1u);
    GwClient again(address_);  // one use: the next connection is answered
    EXPECT_TRUE(again.Exchange(write));
}

TEST_F(GwsimFaults, ResultAndStatusOverridesApplyToTheirTypeOrToAll) {
    Serve(krogw::test::TestAddress(50, 42));
    gw_->faults().OverrideResult(krogw::kOpGatewayStatus, 5, 1);
    gw_->faults().SetStatus(Faults::kAnyType, krogw::kGwStatusQueueFull);
    const auto overridden = client_->Exchange(StatusRequest());
    ASSERT_TRUE(overridden);
    EXPECT_EQ(FrameOf(*overridden).command.result_code, 5u);
    EXPECT_EQ(FrameOf(*overridden).header.status, krogw::kGwStatusQueueFull);

    const auto other = client_->Exchange(ChannelStatusRequest());
    ASSERT_TRUE(other);
    EXPECT_EQ(FrameOf(*other).command.result_code, 0u);
    EXPECT_EQ(FrameOf(*other).header.status, krogw::kGwStatusQueueFull);

    gw_->faults().Clear();
    const auto plain = client_->Exchange(StatusRequest());
    ASSERT_TRUE(plain);
    EXPECT_EQ(FrameOf(*plain).command.result_code, 0u);
    EXPECT_EQ(FrameOf(*plain).header.status, krogw::kGwStatusNormal);
}

TEST_F(GwsimFaults, SplitMessageArrivesInPiecesWithPauses) {
    Serve(krogw::test::TestAddress(50, 43));
    gw_->faults().SplitMessage(krogw::kOpGatewayStatus, 15, 150);  // 40 bytes: 15, 15, 10
    const auto start = Clock::now();
    client_->Send(StatusRequest());
    const Bytes first = client_->ReceiveSome(1000);
    EXPECT_EQ(first.size(), 15u);
    EXPECT_TRUE(client_->ReceiveSome(80).empty());
    Bytes rest;
    while (first.size() + rest.size() < 40 && ElapsedMs(start) < 2000) {
        const Bytes piece = client_->ReceiveSome(500);
        rest.insert(rest.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(rest.size(), 25u);
    EXPECT_GE(ElapsedMs(start), 300);
}

TEST_F(GwsimFaults, UnknownMessageGoesToBurstChannelsOnly) {
    Serve(krogw::test::TestAddress(50, 44));
    ASSERT_NE(client_->OpenChannel(0), 0);
    GwClient burst(address_);
    const uint16_t id = burst.OpenChannel(kBurstChannelType);
    EXPECT_EQ(gw_->SendUnknownMessage(0x999), 1);
    const auto unknown = burst.Receive();
    ASSERT_TRUE(unknown);
    EXPECT_EQ(FrameOf(*unknown).command.opcode, 0x999u);
    EXPECT_EQ(FrameOf(*unknown).header.channel_id, id);
    EXPECT_EQ(FrameOf(*unknown).header.status, krogw::kGwStatusNormal);
    EXPECT_FALSE(client_->Receive(100));
}

TEST_F(GwsimFaults, CloseAllConnectionsEndsEveryChannel) {
    Serve(krogw::test::TestAddress(50, 45));
    ASSERT_NE(client_->OpenChannel(0), 0);
    GwClient burst(address_);
    ASSERT_NE(burst.OpenChannel(kBurstChannelType), 0);
    gw_->CloseAllConnections();
    EXPECT_TRUE(client_->WaitClosed(1000));
    EXPECT_TRUE(burst.WaitClosed(1000));
    const auto deadline = Clock::now() + 1s;
    while (Clock::now() < deadline && gw_->WaitForChannels(0, 1, 10ms)) {
    }
    for (const ChannelInfo& channel : gw_->Channels()) {
        EXPECT_FALSE(channel.open);
    }
    GwClient again(address_);  // the gateway itself keeps listening
    EXPECT_NE(again.OpenChannel(0), 0);
}

TEST_F(GwsimFaults, RefusedConnectionsFailUntilAllowedAgain) {
    Serve(krogw::test::TestAddress(50, 46));
    ASSERT_TRUE(client_->Exchange(StatusRequest()));  // accepted before refusing begins
    gw_->faults().RefuseConnections(true);
    bool refused = false;
    for (const auto deadline = Clock::now() + 1s; !refused && Clock::now() < deadline;) {
        refused = !GwClient(address_).connected();
    }
    EXPECT_TRUE(refused);
    EXPECT_TRUE(client_->Exchange(StatusRequest()));  // open connections are served

    gw_->faults().RefuseConnections(false);
    bool accepted = false;
    for (const auto deadline = Clock::now() + 1s; !accepted && Clock::now() < deadline;) {
        accepted = GwClient(address_).connected();
    }
    EXPECT_TRUE(accepted);
}

TEST_F(GwsimFaults, SlowAcceptHoldsANewConnectionBeforeItIsServed) {
    Serve(krogw::test::TestAddress(50, 47));
    gw_->faults().SlowAccepts(400);
    const auto start = Clock::now();
    GwClient slow(address_);
    ASSERT_TRUE(slow.connected());
    EXPECT_NE(slow.OpenChannel(0), 0);
    EXPECT_GE(ElapsedMs(start), 400);
}

TEST_F(GwsimFaults, BurstReportsTakeFaultsByTheirOwnType) {
    Serve(krogw::test::TestAddress(50, 48));
    ASSERT_NE(client_->OpenChannel(kBurstChannelType), 0);
    gw_->faults().OverrideResult(krogw::kOpBurstReport, 7, 1);
    gw_->faults().DropReply(krogw::kOpBurstReport, 1);
    gw_->faults().SetStatus(krogw::kOpBurstReport, 0x42, 2);
    const BurstReport report = {BurstSection::Rows(1, 5, 0, 1)};
    gw_->SendBurst(report);  // dropped: the other rules wait for the next report
    gw_->SendBurst(report);
    gw_->SendBurst(report);
    const auto second = client_->Receive();
    ASSERT_TRUE(second);
    EXPECT_EQ(FrameOf(*second).command.result_code, 7u);
    EXPECT_EQ(FrameOf(*second).header.status, 0x42u);
    const auto third = client_->Receive();
    ASSERT_TRUE(third);
    EXPECT_EQ(FrameOf(*third).command.result_code, 0u);
    EXPECT_EQ(FrameOf(*third).header.status, 0x42u);
    EXPECT_FALSE(client_->Receive(100));
}

TEST(GwsimLog, WithoutTheTrafficCategoryFaultsAndFailuresAreStillLogged) {
    std::mutex mutex;
    std::vector<std::string> lines;
    Options options{krogw::test::TestAddress(50, 61), krogw::kGatewayPort,
                    [&](const std::string& line) {
                        const std::lock_guard lock(mutex);
                        lines.push_back(line);
                    }};
    options.log_traffic = false;
    Gateway gw(std::move(options));
    gw.faults().DropReply(krogw::kOpRtuChannelStatus, 1);
    gw.Start();
    GwClient client(krogw::test::TestAddress(50, 61));
    ASSERT_TRUE(client.Exchange(StatusRequest()));
    EXPECT_FALSE(client.Exchange(ChannelStatusRequest(), 300));
    gw.Stop();
    const std::lock_guard lock(mutex);
    const auto has = [&](const char* text) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        });
    };
    EXPECT_TRUE(has("dropped")) << "a fault stays in the log";
    EXPECT_TRUE(has("listening on")) << "so do changes of state";
    EXPECT_FALSE(has(" <- ")) << "requests are traffic";
    EXPECT_FALSE(has("accepted from")) << "connections are traffic";
    EXPECT_FALSE(has("-> gateway status reply")) << "replies are traffic";
}

}  // namespace
}  // namespace gwsim::test
