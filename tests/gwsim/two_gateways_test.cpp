// A primary and a secondary: two gateways on two addresses, port 5001 each, that keep
// their own mode and status, and the stopped gateway.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/gwsim/gw_client.h"
#include "tests/support/test_net.h"
#include "tools/gwsim/gwsim.h"

namespace gwsim::test {
namespace {

using namespace std::chrono_literals;

const char* const kPrimary = krogw::test::TestAddress(52, 1);
const char* const kSecondary = krogw::test::TestAddress(52, 2);

// A client with a channel open on one gateway, as the driver keeps it.
struct Link {
    explicit Link(const char* address) : client(address), id(client.OpenChannel(0)) {}

    bool SetMode(uint8_t mode) {
        const auto reply = client.Exchange(Message(krogw::kOpSetMode, id, {mode}));
        return reply && FrameOf(*reply).command.result_code == kResultOk;
    }
    std::optional<uint32_t> StatusWord() {
        const auto reply = client.Exchange(Message(krogw::kOpGatewayStatus, id, {}));
        if (!reply || FrameOf(*reply).command.opcode != 0x80000009u) {
            return std::nullopt;
        }
        return krogw::GetU32(reply->data() + 36);
    }

    GwClient client;
    uint16_t id;
};

TEST(GwsimTwoGateways, EachAnswersStatusWithItsOwnModeThroughASwitchOver) {
    Gateway primary(kPrimary);
    Gateway secondary(kSecondary);
    primary.Start();
    secondary.Start();
    Link one(kPrimary);
    Link two(kSecondary);
    ASSERT_NE(one.id, 0);
    ASSERT_NE(two.id, 0);

    struct Step {
        uint8_t primary_mode;
        uint8_t secondary_mode;
        uint32_t primary_word;
        uint32_t secondary_word;
    };
    for (const Step step : {Step{0, 1, 1, 5}, Step{1, 0, 5, 1}, Step{0, 1, 1, 5}}) {
        ASSERT_TRUE(one.SetMode(step.primary_mode));
        ASSERT_TRUE(two.SetMode(step.secondary_mode));
        EXPECT_EQ(one.StatusWord(), step.primary_word);
        EXPECT_EQ(two.StatusWord(), step.secondary_word);
    }
    EXPECT_EQ(primary.mode(), GatewayMode::kActive);
    EXPECT_EQ(secondary.mode(), GatewayMode::kStandby);
    EXPECT_EQ(primary.Channels().size(), 1u);
    EXPECT_EQ(secondary.Channels().size(), 1u);
}

TEST(GwsimTwoGateways, StoppedGatewayRefusesAndDropsWhileTheOtherServesUntilStartedAgain) {
    Gateway primary(kPrimary);
    Gateway secondary(kSecondary);
    primary.Start();
    secondary.Start();
    Link one(kPrimary);
    Link burst(kPrimary);
    Link two(kSecondary);
    ASSERT_TRUE(one.SetMode(1));
    ASSERT_TRUE(two.SetMode(0));

    primary.Stop();
    EXPECT_FALSE(primary.serving());
    EXPECT_FALSE(GwClient(kPrimary).connected());
    EXPECT_TRUE(one.client.WaitClosed(1000));
    EXPECT_TRUE(burst.client.WaitClosed(1000));
    for (const ChannelInfo& channel : primary.Channels()) {
        EXPECT_FALSE(channel.open);
    }
    EXPECT_EQ(two.StatusWord(), 1u);  // the other gateway keeps serving

    primary.Start();
    Link again(kPrimary);
    ASSERT_NE(again.id, 0);
    EXPECT_EQ(again.StatusWord(), 5u);  // the mode outlives the stop
    EXPECT_EQ(two.StatusWord(), 1u);
}

}  // namespace
}  // namespace gwsim::test
