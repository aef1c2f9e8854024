// Function code 2: the host asks to reopen gateway 1 (0xFFF0) or gateway 2 (0xFFF1).
#include "context/context.h"
#include "context/turn_queue.h"
#include "driver/handlers.h"
#include "gateway/active_set.h"
#include "gateway/connections.h"
#include "gateway/pauses.h"
#include "host/qivpro.h"
#include "include/krogw/abi.h"
#include "platform/platform.h"

namespace krogw {
namespace {

bool Reopen(DriverContext& context, uint8_t gateway) {
    const bool active = context.active_gateway.load() == gateway;
    CloseGatewayChannels(context, gateway);
    if (gateway == kPrimaryGateway && context.secondary_configured != 1) {
        context.active_sockets.burst.store(0);
    }
    if (gateway == kSecondaryGateway && active) {
        context.polls_in_flight.store(0);
    }
    PlatformSleepMs(CurrentGatewayPauses().reconnect_ms);
    const bool opened = gateway == kPrimaryGateway ? OpenPrimary(context) : OpenSecondary(context);
    if (!opened) {
        return false;
    }
    // Whatever was in flight went out on the old channels; queued writes stay.
    if (context.active_gateway.load() == gateway) {
        const int32_t wait_ms = SyncTurnWaitMs(context);
        const QueuedTurn turn(context.command_busy, wait_ms);
        if (!turn.taken()) {
            err(kLogError, "KroGW : Sync channel busy for %d ms, writes in flight kept",
                static_cast<int>(wait_ms));
            return false;
        }
        ForgetOldGatewayFlow(context);
    }
    return true;
}

}  // namespace

int32_t ReconnectGateway(HostRequest& request) {
    DriverContext& context = *request.context;
    const int32_t unit = static_cast<const ReconnectArguments*>(request.arguments)->gateway_unit;
    if (unit != PrimaryGatewayUnit && unit != SecondaryGatewayUnit) {
        return kResultDone;
    }
    if (context.gateway_change_running.exchange(1) != 0) {
        err(kLogError, "KroGW : Reconnect refused, a gateway change is running");
        return kResultNotDone;
    }
    const uint8_t gateway = unit == PrimaryGatewayUnit ? kPrimaryGateway : kSecondaryGateway;
    const bool reopened = Reopen(context, gateway);
    context.gateway_change_running.store(0);
    return reopened ? kResultDone : kResultNotDone;
}

}  // namespace krogw
