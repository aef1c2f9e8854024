// The read of a gateway status gate (0xFFF0 the primary, 0xFFF1 the secondary).
#include "driver/gateway_status_read.h"

#include "context/statistics_count.h"
#include "driver/gate_io.h"
#include "gateway/active_set.h"
#include "gateway/connections.h"
#include "gateway/hot_backup.h"
#include "gateway/status.h"
#include "host/qivpro.h"
#include "include/krogw/abi.h"

namespace krogw {
namespace {

uint8_t GatewayNamed(const GateIoArguments& io) {
    return io.address.unit_id == SecondaryGatewayUnit ? kSecondaryGateway : kPrimaryGateway;
}

// A silent gateway: with both gateways usable, the traffic leaves the active one when
// it is the one that did not answer.
void SwitchAwayFromSilentGateway(DriverContext& context, const GateIoArguments& io) {
    const uint8_t silent = GatewayNamed(io);
    if (context.active_gateway.load() == kPrimaryGateway && silent == kPrimaryGateway) {
        SwitchGateway(context, kAutomaticSwitch);
    }
    if (context.active_gateway.load() == kSecondaryGateway && silent == kSecondaryGateway) {
        SwitchGateway(context, kAutomaticSwitch);
    }
}

}  // namespace

int32_t ReadGatewayStatus(DriverContext& context, GateIoArguments& io) {
    uint16_t status_word = 0;
    ExchangeResult result = QueryGatewayStatus(context, io.address.unit_id, &status_word);
    if (result != kExchangeDone) {
        result = QueryGatewayStatus(context, io.address.unit_id, &status_word);
    }
    if (result == kExchangeDone) {
        PutValueWord(io, status_word);
    }
    if (result == kExchangeFailed) {
        NoteGatewayLost(context, GatewayNamed(io));
        if (BothGatewaysUsable(context)) {
            SwitchAwayFromSilentGateway(context, io);
        } else if (context.gateway_change_running.exchange(1) == 0) {
            // Only the gateway that did not answer is closed, so that a read of the
            // secondary's gate never takes down a primary that works; a reconnect
            // reopens it. A reconnect or switch-over running meanwhile replaces the
            // sockets itself: closing them would take down what it just opened.
            CloseGatewaySockets(context, GatewayNamed(io));
            context.gateway_change_running.store(0);
        }
        return kResultFailed;
    }
    // Both gateways reporting the same mode: one of them must be told again which it is.
    if (context.secondary_configured == 1 &&
        context.primary_mode_value.load() == context.secondary_mode_value.load()) {
        err(kLogError, "KroGW : Unexepted Primary/Secondary mode !");
        err(kLogError, "KroGW : Reset Primery/Secondary state !!!");
        return SwitchGateway(context, kManualSwitch);
    }
    return result;
}

}  // namespace krogw
