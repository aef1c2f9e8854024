// Channels, mode, status and the record of requests, seen from a raw client.
#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "tests/gwsim/gw_client.h"
#include "tests/support/test_net.h"
#include "tools/gwsim/gwsim.h"

namespace gwsim::test {
namespace {

using namespace std::chrono_literals;

TEST(GwsimChannels, OpenChannelAssignsDistinctIdsAndEchoesTheType) {
    Gateway gw(krogw::test::TestAddress(50, 1));
    gw.Start();
    GwClient status(krogw::test::TestAddress(50, 1));
    GwClient sync(krogw::test::TestAddress(50, 1));
    GwClient burst(krogw::test::TestAddress(50, 1));
    ASSERT_TRUE(status.connected() && sync.connected() && burst.connected());

    const std::set<uint16_t> ids = {status.OpenChannel(0, "QIV_12_345"), sync.OpenChannel(0),
                                    burst.OpenChannel(kBurstChannelType)};
    EXPECT_EQ(ids.size(), 3u);
    EXPECT_EQ(ids.count(0), 0u);

    const std::vector<ChannelInfo> channels = gw.Channels();
    ASSERT_EQ(channels.size(), 3u);
    EXPECT_EQ(channels[0].instance_name, "QIV_12_345");
    EXPECT_EQ(channels[2].type, kBurstChannelType);
    EXPECT_TRUE(gw.WaitForChannels(kBurstChannelType, 1, 100ms));
}

TEST(GwsimChannels, CloseChannelClosesAKnownIdOnly) {
    Gateway gw(krogw::test::TestAddress(50, 2));
    gw.Start();
    GwClient client(krogw::test::TestAddress(50, 2));
    const uint16_t id = client.OpenChannel(kBurstChannelType);
    Bytes body(2);
    krogw::PutU16(body.data(), id);
    const auto closed = client.Exchange(Message(krogw::kOpCloseChannel, id, body));
    ASSERT_TRUE(closed);
    EXPECT_EQ(FrameOf(*closed).command.opcode, krogw::kOpCloseChannel | krogw::kGwReplyBit);
    EXPECT_EQ(FrameOf(*closed).command.result_code, kResultOk);
    EXPECT_FALSE(gw.Channels().at(0).open);

    const auto again = client.Exchange(Message(krogw::kOpCloseChannel, id, body));
    ASSERT_TRUE(again);
    EXPECT_EQ(FrameOf(*again).command.result_code, kResultBadAddress);
}

TEST(GwsimChannels, SetModeDrivesStatusWordBitsZeroAndTwo) {
    Gateway gw(krogw::test::TestAddress(50, 3));
    gw.Start();
    GwClient client(krogw::test::TestAddress(50, 3));
    const uint16_t id = client.OpenChannel(0);
    auto status_word = [&] {
        const auto reply = client.Exchange(Message(krogw::kOpGatewayStatus, id, {}));
        EXPECT_TRUE(reply);
        EXPECT_EQ(FrameOf(*reply).command.opcode, 0x80000009u);
        return reply ? krogw::GetU32(reply->data() + 36) : 0xFFFFFFFFu;
    };
    EXPECT_EQ(status_word(), 1u);  // active until told otherwise

    gw.SetStatusWord(0xF0);
    struct Step {
        uint8_t mode;
        uint32_t word;
        GatewayMode gateway_mode;
    };
    for (const Step step :
         {Step{1, 0xF5, GatewayMode::kStandby}, Step{0, 0xF1, GatewayMode::kActive}}) {
        const auto reply = client.Exchange(Message(krogw::kOpSetMode, id, {step.mode}));
        ASSERT_TRUE(reply);
        EXPECT_EQ(FrameOf(*reply).command.opcode, 0x80000008u);
        EXPECT_EQ(FrameOf(*reply).command.result_code, kResultOk);
        EXPECT_EQ(status_word(), step.word);
        EXPECT_EQ(gw.mode(), step.gateway_mode);
    }
    const auto bad = client.Exchange(Message(krogw::kOpSetMode, id, {2}));
    ASSERT_TRUE(bad);
    EXPECT_EQ(FrameOf(*bad).command.result_code, kResultBadRequest);
    EXPECT_EQ(gw.mode(), GatewayMode::kActive);
}

TEST(GwsimChannels, RtuChannelStatusCarriesValuesAndFlags) {
    Gateway gw(krogw::test::TestAddress(50, 4));
    gw.DefineRtu(12);
    gw.SetRtuChannelStatus(12, {{7, 8, 9}, false, true});
    gw.Start();
    GwClient client(krogw::test::TestAddress(50, 4));
    const uint16_t id = client.OpenChannel(0);
    Bytes body(16, 0);
    krogw::PutU16(body.data(), 12);
    const auto reply = client.Exchange(Message(krogw::kOpRtuChannelStatus, id, body));
    ASSERT_TRUE(reply);
    ASSERT_GE(reply->size(), 60u);
    EXPECT_EQ(FrameOf(*reply).command.opcode, 0x8000000Au);
    EXPECT_EQ(Bytes(reply->begin() + 53, reply->begin() + 56), (Bytes{7, 8, 9}));
    EXPECT_EQ((*reply)[59], 0x02);

    krogw::PutU16(body.data(), 13);
    const auto unknown = client.Exchange(Message(krogw::kOpRtuChannelStatus, id, body));
    ASSERT_TRUE(unknown);
    EXPECT_EQ(FrameOf(*unknown).command.result_code, kResultRtuOffline);
}

TEST(GwsimChannels, EveryRequestIsRecordedWithItsChannelType) {
    Gateway gw(krogw::test::TestAddress(50, 5));
    gw.Start();
    GwClient client(krogw::test::TestAddress(50, 5));
    const uint16_t id = client.OpenChannel(0);
    const Bytes status = Message(krogw::kOpGatewayStatus, id, {});
    client.Exchange(status);
    client.Exchange(status);
    client.Exchange(Message(0x777, id, {1, 2, 3}));

    const auto second = gw.WaitForRequest(krogw::kOpGatewayStatus, 1s, 1);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->bytes, status);
    EXPECT_EQ(second->channel_type, 0);
    EXPECT_EQ(gw.CountRequests(krogw::kOpGatewayStatus), 2u);
    EXPECT_FALSE(gw.WaitForRequest(krogw::kOpGatewayStatus, 50ms, 2));

    const std::vector<RecordedRequest> all = gw.Requests();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].opcode, krogw::kOpOpenChannel);
    EXPECT_EQ(all[0].channel_type, kNoChannelType);
    EXPECT_EQ(all[3].opcode, 0x777u);
    gw.ClearRequests();
    EXPECT_TRUE(gw.Requests().empty());
}

TEST(GwsimChannels, UnknownOpcodeIsAnsweredWithResultOne) {
    Gateway gw(krogw::test::TestAddress(50, 6));
    gw.Start();
    GwClient client(krogw::test::TestAddress(50, 6));
    const auto reply = client.Exchange(Message(0x777, 0, {1, 2, 3}));
    ASSERT_TRUE(reply);
    EXPECT_EQ(FrameOf(*reply).command.opcode, 0x80000777u);
    EXPECT_EQ(FrameOf(*reply).command.result_code, kResultUnknownOpcode);
}

}  // namespace
}  // namespace gwsim::test
