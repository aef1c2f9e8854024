// Opening and closing gateway channels against a scripted gateway on port 5001, and
// closing socket slots without ever touching a closed handle again.
#include <gtest/gtest.h>

#include <string>

#include "gateway/channel.h"
#include "gateway/frame.h"
#include "gateway/requests.h"
#include "gateway/socket_slot.h"
#include "tests/gateway/gateway_fixture.h"
#include "tests/support/scripted_gateway.h"
#include "tests/support/test_net.h"

namespace krogw {
namespace {

using test::Built;
using test::Bytes;
using test::GwMessage;
using test::Logged;
using test::LogText;
using test::ScriptedGateway;

Bytes OpenReply(uint32_t result_code, uint8_t type, uint16_t channel_id) {
    return GwMessage(
        kGwReplyBit | kOpOpenChannel, result_code,
        {0, 0, type, static_cast<uint8_t>(channel_id >> 8), static_cast<uint8_t>(channel_id)});
}

class ChannelTest : public test::GatewayFixture {
  protected:
    bool Open(uint8_t type, SocketSlot& slot, const char* address) {
        return OpenChannel(type, slot, address, context_->primary_sockets.channel_id, *context_);
    }
    // Closes whatever the test left in the gateway slots.
    void TearDown() override {
        for (SocketSlot* slot : {&context_->primary_sockets.status, &context_->primary_sockets.sync,
                                 &context_->primary_sockets.burst}) {
            CloseSocketSlot(*context_, *slot);
        }
    }
};

TEST_F(ChannelTest, OpenAnnouncesTheChannelAndKeepsTheGatewaysId) {
    ScriptedGateway gateway(test::TestAddress(40, 1), kGatewayPort);
    gateway.Answer(OpenReply(0, kBurstChannelType, 0x0A0B));
    ASSERT_TRUE(Open(kBurstChannelType, context_->primary_sockets.burst, test::TestAddress(40, 1)))
        << LogText();
    EXPECT_NE(context_->primary_sockets.burst.load(), 0);
    EXPECT_EQ(context_->primary_sockets.channel_id.load(), 0x0A0B);
    ASSERT_TRUE(gateway.WaitForRequests(1, 1000));
    EXPECT_EQ(gateway.Requests()[0].bytes, Built([](uint8_t* b, size_t n) {
                  return BuildOpenChannelRequest(kBurstChannelType, "QIV_12_345", b, n);
              }));
    EXPECT_TRUE(hostsim::LogLines().empty()) << LogText();
}

TEST_F(ChannelTest, RefusedOrUnexpectedAnnouncementsFail) {
    ScriptedGateway gateway(test::TestAddress(40, 2), kGatewayPort);
    context_->sync_reply_timeout = 300;
    const struct {
        const char* what;
        Bytes reply;  // empty: no answer
        std::string line;
    } cases[] = {
        {"error code", OpenReply(5, kBurstChannelType, 1),
         "kroGW : Fail to recv Channel type msg (5)"},
        {"another channel type", OpenReply(0, 0, 1), "kroGW : Recv Ch Id 0 - not match"},
        {"no answer", {}, "kroGW : Fail to recv Channel type msg (KRO#12)"},
        {"too short", GwMessage(0x80000001, 0, {0, 0, 7}), "kroGW : Channel type reply too short"},
    };
    for (const auto& c : cases) {
        hostsim::ClearLog();
        context_->primary_sockets.channel_id = 0x7777;
        gateway.Answer(c.reply);
        EXPECT_FALSE(
            Open(kBurstChannelType, context_->primary_sockets.burst, test::TestAddress(40, 2)))
            << c.what;
        EXPECT_EQ(Logged(kLogError, c.line), 1) << c.what << "\n" << LogText();
        EXPECT_EQ(context_->primary_sockets.channel_id.load(), 0x7777) << c.what;
        // Never announced: the socket never entered the slot and is closed.
        EXPECT_EQ(context_->primary_sockets.burst.load(), 0) << c.what;
    }
}

TEST_F(ChannelTest, EveryAttemptConnectsAlsoRightAfterAFailedOne) {
    // Nobody listens yet.
    EXPECT_FALSE(Open(0, context_->primary_sockets.status, test::TestAddress(40, 3)));
    EXPECT_EQ(Logged(kLogError, std::string("KroGW : Connection failed (Gateway ") +
                                    test::TestAddress(40, 3) + ")"),
              1);
    EXPECT_EQ(context_->primary_sockets.status.load(), 0);

    ScriptedGateway gateway(test::TestAddress(40, 3), kGatewayPort);
    gateway.Answer(OpenReply(0, 0, 0x0102));
    EXPECT_TRUE(Open(0, context_->primary_sockets.status, test::TestAddress(40, 3))) << LogText();
    EXPECT_EQ(gateway.Connections(), 1);
    EXPECT_EQ(hostsim::LogLines().size(), 1u) << LogText();
}

TEST_F(ChannelTest, ConnectionFailureIsLoggedOncePerInstance) {
    EXPECT_FALSE(Open(0, context_->primary_sockets.status, "not.an.address"));
    EXPECT_FALSE(Open(0, context_->primary_sockets.status, "not.an.address"));
    // The message is the instance's, whichever gateway failed.
    EXPECT_FALSE(OpenChannel(0, context_->secondary_sockets.status, test::TestAddress(40, 4),
                             context_->secondary_sockets.channel_id, *context_));

    EXPECT_EQ(Logged(kLogError, "KroGW : Connection failed (Gateway not.an.address)"), 1);
    EXPECT_EQ(hostsim::LogLines().size(), 1u) << LogText();
    EXPECT_EQ(context_->connect_failure_logged.load(), 1);
    EXPECT_EQ(context_->primary_sockets.status.load(), 0);
    EXPECT_EQ(context_->secondary_sockets.status.load(), 0);
}

class CloseChannelTest : public ChannelTest {
  protected:
    static constexpr uint16_t kChannelId = 0x0203;

    // Connects the primary gateway's three channels and makes them the active set.
    void Connect(const ScriptedGateway& gateway) {
        SocketSlot* slots[] = {&context_->primary_sockets.status, &context_->primary_sockets.sync,
                               &context_->primary_sockets.burst};
        SocketSlot* active[] = {&context_->active_sockets.status, &context_->active_sockets.sync,
                                &context_->active_sockets.burst};
        for (int i = 0; i < 3; ++i) {
            const PlatformSocket socket =
                test::ConnectLikeDriver(gateway.address(), gateway.port());
            ASSERT_NE(socket, 0);
            slots[i]->store(socket);
            active[i]->store(socket);
            // Accepted in connection order: 0 status, 1 sync, 2 burst.
            const int64_t deadline = PlatformMonotonicMs() + 2000;
            while (gateway.Connections() < i + 1 && PlatformMonotonicMs() < deadline) {
                PlatformSleepMs(1);
            }
        }
    }

    bool Close() {
        context_->primary_sockets.channel_id.store(kChannelId);
        return CloseChannel(context_->primary_sockets, *context_);
    }

    int OpenSlots() const {
        int open = 0;
        for (const SocketSlot* slot :
             {&context_->primary_sockets.status, &context_->primary_sockets.sync,
              &context_->primary_sockets.burst, &context_->active_sockets.status,
              &context_->active_sockets.sync, &context_->active_sockets.burst}) {
            open += slot->load() != 0 ? 1 : 0;
        }
        return open;
    }
};

TEST_F(CloseChannelTest, ConfirmedCloseClosesEveryCopyOfTheSockets) {
    ScriptedGateway gateway(test::TestAddress(40, 5));
    Connect(gateway);
    gateway.Answer(GwMessage(0x80000007, 0));
    EXPECT_TRUE(Close());
    EXPECT_EQ(Logged(kLogError, "kroGW : Close Channel Id 515 Pass"), 1) << LogText();
    EXPECT_EQ(OpenSlots(), 0);
    const auto requests = gateway.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].connection, 1) << "on the sync channel";
    EXPECT_EQ(requests[0].bytes, Built([](uint8_t* b, size_t n) {
                  return BuildCloseChannelRequest(kChannelId, "QIV_12_345", b, n);
              }));
}

TEST_F(CloseChannelTest, RefusedCloseLeavesTheSocketsOpen) {
    ScriptedGateway gateway(test::TestAddress(40, 6));
    Connect(gateway);
    gateway.Answer(GwMessage(0x80000007, 0x1F));
    EXPECT_FALSE(Close());
    EXPECT_EQ(Logged(kLogTrace, "kroGW : Fail close Channel rc=1F"), 1) << LogText();
    EXPECT_EQ(OpenSlots(), 6);
}

TEST_F(CloseChannelTest, UnansweredCloseStillClosesTheSockets) {
    ScriptedGateway gateway(test::TestAddress(40, 7));
    Connect(gateway);
    context_->sync_reply_timeout = 200;
    EXPECT_TRUE(Close());
    EXPECT_EQ(Logged(kLogTrace, "kroGW : Fail to Close Channel Id 515"), 1) << LogText();
    EXPECT_EQ(OpenSlots(), 0);
}

TEST_F(CloseChannelTest, CloseWithoutASyncChannelIsNotSent) {
    ScriptedGateway gateway(test::TestAddress(40, 8));
    Connect(gateway);
    CloseSocketSlot(*context_, context_->primary_sockets.sync);
    EXPECT_EQ(context_->active_sockets.sync.load(), 0) << "the active copy went with it";
    EXPECT_FALSE(Close());
    EXPECT_EQ(Logged(kLogTrace, "kroGW : Fail to send Close type msg"), 1) << LogText();
    EXPECT_EQ(OpenSlots(), 4);
}

TEST_F(CloseChannelTest, ClosingASlotEndsTheConnectionOnce) {
    test::LoopbackListener listener(test::TestAddress(40, 9));
    const PlatformSocket socket = test::ConnectLikeDriver(listener.address(), listener.port());
    const PlatformSocket peer = listener.Accept(2000);
    ASSERT_NE(peer, 0);
    context_->secondary_sockets.sync = socket;
    context_->active_sockets.sync = socket;
    context_->primary_sockets.sync = socket + 1000;  // another handle stays

    CloseSocketSlot(*context_, context_->secondary_sockets.sync);
    EXPECT_EQ(context_->secondary_sockets.sync.load(), 0);
    EXPECT_EQ(context_->active_sockets.sync.load(), 0);
    EXPECT_EQ(context_->primary_sockets.sync.load(), socket + 1000);
    ASSERT_EQ(PlatformSocketWaitReadable(peer, 2000), 1) << "the peer sees the connection end";
    uint8_t byte = 0;
    EXPECT_LE(PlatformSocketRecv(peer, &byte, 1), 0);

    // Nothing is left to close a second time.
    CloseSocketSlot(*context_, context_->secondary_sockets.sync);
    CloseSocketSlot(*context_, context_->active_sockets.sync);
    context_->primary_sockets.sync = 0;
    PlatformSocketClose(peer);
}

}  // namespace
}  // namespace krogw
