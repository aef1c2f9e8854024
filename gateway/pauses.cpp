#include "gateway/pauses.h"

#include <atomic>

#include "gateway/channel.h"

namespace krogw {
namespace {

std::atomic<uint32_t> connect_settle_ms{kConnectSettleMs};
std::atomic<uint32_t> reconnect_ms{kReconnectPauseMs};
std::atomic<uint32_t> switch_over_ms{kSwitchOverPauseMs};

}  // namespace

GatewayPauses CurrentGatewayPauses() {
    return {connect_settle_ms.load(), reconnect_ms.load(), switch_over_ms.load()};
}

void SetGatewayPauses(const GatewayPauses& pauses) {
    connect_settle_ms.store(pauses.connect_settle_ms);
    reconnect_ms.store(pauses.reconnect_ms);
    switch_over_ms.store(pauses.switch_over_ms);
}

}  // namespace krogw
