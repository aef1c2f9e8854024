// Two simulated gateways, a primary and a secondary on their own loopback addresses
// (port 5001 each), and a driver context configured for them.
#pragma once

#include <cstdio>
#include <vector>

#include "gateway/active_set.h"
#include "gateway/channel.h"
#include "gateway/connections.h"
#include "gateway/pauses.h"
#include "tests/gateway/gateway_fixture.h"
#include "tools/gwsim/gwsim.h"

namespace krogw::test {

class HotBackupFixture : public GatewayFixture {
  protected:
    // Short pauses keep many reconnects and switch-overs quick; loopback connects at once.
    static constexpr GatewayPauses kShortPauses{10, 0, 0};

    void SetUp() override {
        GatewayFixture::SetUp();
        SetGatewayPauses(kShortPauses);
    }
    void TearDown() override {
        CloseGatewaySockets(*context_, kPrimaryGateway);
        CloseGatewaySockets(*context_, kSecondaryGateway);
        SetGatewayPauses({kConnectSettleMs, kReconnectPauseMs, kSwitchOverPauseMs});
    }

    void Configure(const char* primary, const char* secondary) {
        std::snprintf(context_->primary_address, sizeof context_->primary_address, "%s", primary);
        if (secondary != nullptr) {
            std::snprintf(context_->secondary_address, sizeof context_->secondary_address, "%s",
                          secondary);
            context_->secondary_configured = 1;
            context_->gateway_ok = 3;
        }
    }

    // The writes in flight all wait for late replies.
    void SetFlowCounters(uint16_t value) {
        for (Counter* counter : Counters()) {
            counter->store(value);
        }
        context_->commands_awaiting_reply.store(value);
    }
    // After a change of gateway, of counters set to `queued`: the polls and the writes
    // the old gateway was to answer are forgotten, the queued writes stay.
    static std::vector<int> AfterChange(int queued) { return {0, 0, 0, queued}; }
    std::vector<int> FlowCounters() const {
        std::vector<int> values;
        for (Counter* counter : Counters()) {
            values.push_back(counter->load());
        }
        return values;
    }

    // The active set holds exactly the gateway's three sockets and its channel id.
    bool ActiveSetIs(uint8_t gateway) const {
        SocketSet& slots = SocketsOf(*context_, gateway);
        return context_->active_sockets.status == slots.status.load() &&
               context_->active_sockets.sync == slots.sync.load() &&
               context_->active_sockets.burst == slots.burst.load() &&
               context_->active_sockets.channel_id == slots.channel_id.load();
    }

    int32_t Reconnect(int32_t unit) {
        ReconnectArguments arguments{unit};
        HostRequest request{context_.get(), kReconnectGateway, kDriverNumber, 0, &arguments};
        return KroMain(&request);
    }

    // The mode bytes of the set-mode requests a gateway received, in order.
    static std::vector<int> ModesSent(const gwsim::Gateway& gateway) {
        std::vector<int> modes;
        for (const gwsim::RecordedRequest& request : gateway.Requests()) {
            if (request.opcode == kOpSetMode) {
                modes.push_back(request.U8(36));
            }
        }
        return modes;
    }

  private:
    std::vector<Counter*> Counters() const {
        return {&context_->polls_in_flight, &context_->poll_queue_count,
                &context_->commands_in_flight, &context_->command_queue_count};
    }
};

}  // namespace krogw::test
