// Set mode, gateway status and RTU channel status against a scripted gateway.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gateway/frame.h"
#include "gateway/requests.h"
#include "gateway/socket_slot.h"
#include "gateway/status.h"
#include "tests/gateway/gateway_fixture.h"
#include "tests/support/raw_socket.h"
#include "tests/support/scripted_gateway.h"
#include "tests/support/status_reads.h"
#include "tests/support/test_net.h"
#include "tests/support/wait_for.h"

namespace krogw {
namespace {

using test::QueryGatewayStatusInto;
using test::QueryRtuChannelStatusInto;

using test::Built;
using test::Bytes;
using test::GwMessage;
using test::Logged;
using test::LogText;
using test::ScriptedGateway;

constexpr uint8_t kUntouched = 0xEE;

class StatusTest : public test::GatewayFixture {
  protected:
    // A channel of the driver to the gateway, kept in a slot of the context.
    void Connect(const ScriptedGateway& gateway, SocketSlot& slot) {
        slot = test::ConnectLikeDriver(gateway.address(), gateway.port());
        ASSERT_NE(slot.load(), 0);
    }
    // The active set's status channel, a copy of the primary's as the driver keeps it.
    void ConnectActive(const ScriptedGateway& gateway) {
        Connect(gateway, context_->primary_sockets.status);
        context_->active_sockets.status = context_->primary_sockets.status.load();
    }
    void TearDown() override {
        for (SocketSlot* slot :
             {&context_->primary_sockets.status, &context_->secondary_sockets.status,
              &context_->active_sockets.status}) {
            CloseSocketSlot(*context_, *slot);
        }
    }

    GateIoArguments ReadRequest(int32_t unit_id, int32_t element_count = 1) {
        values_.assign(16, kUntouched);
        GateIoArguments request{};
        request.address = {unit_id, GatewayStatus, 0, kFixedWord, 16};
        request.element_count = element_count;
        request.value_buffer = values_.data();
        return request;
    }

    std::vector<uint8_t> values_;
};

TEST_F(StatusTest, SetModeResults) {
    ScriptedGateway gateway(test::TestAddress(40, 20));
    Connect(gateway, context_->primary_sockets.status);
    context_->sync_reply_timeout = 300;
    const struct {
        const char* what;
        Bytes reply;  // empty: no answer
        ExchangeResult result;
        std::string line;
    } cases[] = {
        {"accepted", GwMessage(0x80000008, 0), kExchangeDone, ""},
        {"error code", GwMessage(0x80000008, 3), kExchangeRefused,
         "KroGW : Fail to send Mode cmd (3)"},
        {"not a reply", GwMessage(kOpSetMode, 0), kExchangeRefused, ""},
        {"no answer", {}, kExchangeFailed, "KroGW : Fail to read gateway status (KRO #12)"},
    };
    const PlatformSocket socket = context_->primary_sockets.status.load();
    for (const auto& c : cases) {
        hostsim::ClearLog();
        gateway.Answer(c.reply);
        EXPECT_EQ(SetGatewayMode(*context_, 0x0102, socket, kGatewayModeSecondary), c.result)
            << c.what;
        ExpectOnlyLogged(c.line, c.what);
    }
    const auto requests = gateway.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].bytes, Built([](uint8_t* b, size_t n) {
                  return BuildSetModeRequest(0x0102, kGatewayModeSecondary, b, n);
              }));

    hostsim::ClearLog();
    EXPECT_EQ(SetGatewayMode(*context_, 0x0102, 0, kGatewayModePrimary), kExchangeFailed);
    EXPECT_EQ(Logged(kLogError, "KroGW : Fail to change the GateWay Mode"), 1) << LogText();
}

TEST_F(StatusTest, StandbyHostSendsNoMode) {
    ScriptedGateway gateway(test::TestAddress(40, 21));
    Connect(gateway, context_->primary_sockets.status);
    hostsim::SetBackupMode(1);
    EXPECT_EQ(
        SetGatewayMode(*context_, 0x0102, context_->primary_sockets.status, kGatewayModePrimary),
        kExchangeDone);
    EXPECT_FALSE(gateway.WaitForRequests(1, 200));
    EXPECT_TRUE(hostsim::LogLines().empty()) << LogText();
}

TEST_F(StatusTest, StatusWordUpdatesTheQueriedGateway) {
    ScriptedGateway gateway(test::TestAddress(40, 22));
    Connect(gateway, context_->primary_sockets.status);    // connection 0
    Connect(gateway, context_->secondary_sockets.status);  // connection 1
    context_->primary_sockets.channel_id = 0x0102;
    context_->secondary_sockets.channel_id = 0x0304;
    const struct {
        int32_t unit;
        uint32_t word;
        int connection;
        uint16_t channel_id;
        uint8_t gateway_ok;  // from 0
        int32_t primary_mode;
        int32_t secondary_mode;
    } cases[] = {
        {PrimaryGatewayUnit, 0x0007, 0, 0x0102, 1, 5, 5},
        {SecondaryGatewayUnit, 0xABCD0001, 1, 0x0304, 2, 1, 1},
        {RtuSpecialUnit, 0x0004, 0, 0x0102, 0, 1, 5},
    };
    for (const auto& c : cases) {
        context_->gateway_ok = 0;
        context_->primary_mode_value = 1;
        context_->secondary_mode_value = 5;
        const size_t before = gateway.Requests().size();
        gateway.Answer(
            GwMessage(0x80000009, 0,
                      {static_cast<uint8_t>(c.word >> 24), static_cast<uint8_t>(c.word >> 16),
                       static_cast<uint8_t>(c.word >> 8), static_cast<uint8_t>(c.word)}));
        const GateIoArguments request = ReadRequest(c.unit);
        ASSERT_EQ(QueryGatewayStatusInto(*context_, request), kExchangeDone) << c.unit << LogText();
        EXPECT_EQ(values_[0], kUntouched);
        EXPECT_EQ(values_[1], kUntouched);
        EXPECT_EQ(values_[2], static_cast<uint8_t>(c.word)) << c.unit;
        EXPECT_EQ(values_[3], static_cast<uint8_t>(c.word >> 8)) << c.unit;
        EXPECT_EQ(context_->gateway_ok.load(), c.gateway_ok) << c.unit;
        EXPECT_EQ(context_->primary_mode_value.load(), c.primary_mode) << c.unit;
        EXPECT_EQ(context_->secondary_mode_value.load(), c.secondary_mode) << c.unit;
        const auto requests = gateway.Requests();
        ASSERT_EQ(requests.size(), before + 1);
        EXPECT_EQ(requests.back().connection, c.connection) << c.unit;
        const uint16_t channel_id = c.channel_id;
        EXPECT_EQ(requests.back().bytes, Built([channel_id](uint8_t* b, size_t n) {
                      return BuildGatewayStatusRequest(channel_id, b, n);
                  }));
    }
    EXPECT_TRUE(hostsim::LogLines().empty()) << LogText();
}

TEST_F(StatusTest, FailedStatusQueriesLeaveTheValueAlone) {
    ScriptedGateway gateway(test::TestAddress(40, 23));
    Connect(gateway, context_->primary_sockets.status);
    context_->sync_reply_timeout = 300;
    const struct {
        const char* what;
        Bytes reply;
        ExchangeResult result;
        std::string line;
    } cases[] = {
        {"error code", GwMessage(0x80000009, 4, {0, 0, 0, 1}), kExchangeRefused,
         "KroGW : Fail to send GW status msg, rc = 4"},
        {"not a reply", GwMessage(kOpGatewayStatus, 0, {0, 0, 0, 1}), kExchangeRefused, ""},
        {"no status word", GwMessage(0x80000009, 0), kExchangeRefused, ""},
        {"no answer", {}, kExchangeFailed, "KroGW : Fail to read gateway status (KRO #12)"},
    };
    for (const auto& c : cases) {
        hostsim::ClearLog();
        context_->gateway_ok = 0;
        gateway.Answer(c.reply);
        const GateIoArguments request = ReadRequest(PrimaryGatewayUnit);
        EXPECT_EQ(QueryGatewayStatusInto(*context_, request), c.result) << c.what;
        EXPECT_EQ(values_, std::vector<uint8_t>(16, kUntouched)) << c.what;
        EXPECT_EQ(context_->gateway_ok.load(), 0) << c.what;
        ExpectOnlyLogged(c.line, c.what);
    }
    hostsim::ClearLog();
    const GateIoArguments request = ReadRequest(SecondaryGatewayUnit);
    EXPECT_EQ(QueryGatewayStatusInto(*context_, request), kExchangeFailed);
    EXPECT_EQ(Logged(kLogError, "KroGW : Fail to send status command (KRO#12)"), 1) << LogText();
}

Bytes StatusReply(uint32_t word) {
    return GwMessage(0x80000009, 0,
                     {static_cast<uint8_t>(word >> 24), static_cast<uint8_t>(word >> 16),
                      static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)});
}

// A reply that comes after its query gave up is not the next query's answer: equal
// mode values taken from a stale reply would force a switch-over.
TEST_F(StatusTest, LateReplyIsNotTakenByTheNextQuery) {
    ScriptedGateway gateway(test::TestAddress(88, 20));
    Connect(gateway, context_->primary_sockets.status);
    context_->sync_reply_timeout = 300;
    gateway.Answer(test::Delivery{StatusReply(5), {0}, 500});
    const GateIoArguments first = ReadRequest(PrimaryGatewayUnit);
    EXPECT_EQ(QueryGatewayStatusInto(*context_, first), kExchangeFailed);
    ASSERT_TRUE(test::WaitFor([&] {
        return test::ReadableBytes(context_->primary_sockets.status.load()) == StatusReply(5).size();
    })) << "the late reply has arrived whole";

    hostsim::ClearLog();
    gateway.Answer(StatusReply(1));
    const GateIoArguments second = ReadRequest(PrimaryGatewayUnit);
    EXPECT_EQ(QueryGatewayStatusInto(*context_, second), kExchangeDone) << LogText();
    EXPECT_EQ(values_[2], 1);
    EXPECT_EQ(context_->primary_mode_value.load(), 1);
    EXPECT_EQ(Logged(kLogTrace, "KroGW : 40 stale bytes discarded before the request"), 1)
        << LogText();

    // A reply to another request that arrives during the wait is passed over.
    hostsim::ClearLog();
    Bytes other_then_own = GwMessage(0x8000000A, 0, Bytes(24));
    const Bytes own = StatusReply(0x0105);
    other_then_own.insert(other_then_own.end(), own.begin(), own.end());
    gateway.Answer(test::Delivery{other_then_own, {60}, 100});
    const GateIoArguments third = ReadRequest(PrimaryGatewayUnit);
    EXPECT_EQ(QueryGatewayStatusInto(*context_, third), kExchangeDone) << LogText();
    EXPECT_EQ(values_[2], 5);
    EXPECT_EQ(values_[3], 1);
    EXPECT_EQ(Logged(kLogTrace, "KroGW : Discard reply 8000000A, waiting for 80000009"), 1)
        << LogText();
}

Bytes RtuStatusReply(uint8_t flags) {
    Bytes body(24, 0x99);
    body[53 - 36] = 0x11;
    body[54 - 36] = 0x22;
    body[55 - 36] = 0x33;
    body[59 - 36] = flags;
    return GwMessage(0x8000000A, 0, body);
}

TEST_F(StatusTest, RtuChannelStatusValues) {
    ScriptedGateway gateway(test::TestAddress(40, 24));
    ConnectActive(gateway);
    context_->active_sockets.channel_id = 0x0A0B;
    const struct {
        int32_t elements;
        std::vector<uint8_t> values;
    } cases[] = {
        {5, {0x11, 0, 0x22, 0, 0x33, 0, 0, 0, 1, 0, kUntouched}},
        {2, {0x11, 0, 0x22, 0, kUntouched}},  // no more words than the gate holds
    };
    for (const auto& c : cases) {
        gateway.Answer(RtuStatusReply(0x02));
        const GateIoArguments request = ReadRequest(300, c.elements);
        ASSERT_EQ(QueryRtuChannelStatusInto(*context_, request), kExchangeDone) << LogText();
        EXPECT_EQ(std::vector<uint8_t>(values_.begin(),
                                       values_.begin() + static_cast<long>(c.values.size())),
                  c.values)
            << c.elements;
    }
    EXPECT_EQ(gateway.Requests()[0].bytes, Built([](uint8_t* b, size_t n) {
                  return BuildRtuChannelStatusRequest(0x0A0B, 300, b, n);
              }));
}

TEST_F(StatusTest, FailedRtuChannelStatus) {
    ScriptedGateway gateway(test::TestAddress(40, 25));
    ConnectActive(gateway);
    context_->sync_reply_timeout = 300;
    const struct {
        const char* what;
        Bytes reply;
        ExchangeResult result;
        std::string line;
    } cases[] = {
        {"error code", GwMessage(0x8000000A, 6), kExchangeRefused,
         "KroGW : Fail to send RTU CH status msg, rc = 6"},
        {"not a reply", GwMessage(kOpRtuChannelStatus, 0, Bytes(24)), kExchangeRefused, ""},
        {"no answer", {}, kExchangeFailed, "KroGW : Fail to read RTU CH status"},
    };
    for (const auto& c : cases) {
        hostsim::ClearLog();
        gateway.Answer(c.reply);
        const GateIoArguments request = ReadRequest(300, 5);
        EXPECT_EQ(QueryRtuChannelStatusInto(*context_, request), c.result) << c.what;
        EXPECT_EQ(values_, std::vector<uint8_t>(16, kUntouched)) << c.what;
        ExpectOnlyLogged(c.line, c.what);
    }
    hostsim::ClearLog();
    CloseSocketSlot(*context_, context_->active_sockets.status);
    const GateIoArguments request = ReadRequest(300, 5);
    EXPECT_EQ(QueryRtuChannelStatusInto(*context_, request), kExchangeFailed);
    EXPECT_EQ(Logged(kLogError, "KroGW : Fail to send Get CH Status command"), 1) << LogText();
}

}  // namespace
}  // namespace krogw
