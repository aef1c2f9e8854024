#include "gateway/hot_backup.h"

#include "context/statistics_count.h"
#include "context/turn_queue.h"
#include "gateway/active_set.h"
#include "gateway/pauses.h"
#include "gateway/requests.h"
#include "gateway/status.h"
#include "host/qivpro.h"
#include "include/krogw/abi.h"
#include "platform/platform.h"

namespace krogw {
namespace {

constexpr uint8_t kBothGatewaysOk = 3;
constexpr int32_t kPrimaryModeValue = 1;    // the status word's mode bits when active
constexpr int32_t kSecondaryModeValue = 5;  // and when standing by

struct Direction {
    uint8_t from;
    uint8_t to;
    const char* refused;
    const char* completed;
    int32_t refused_result;
};

// Kept as hosts know it: a refused switch back to the primary answers 0, one to the
// secondary answers 1, and both refusals log "secondary to Primary".
constexpr Direction kPrimaryToSecondary{
    kPrimaryGateway, kSecondaryGateway, "KroGW : Can not switch secondary to Primary(1>2)!",
    "KroGW : Hot Backup process completed (1->2)", kResultNotDone};
constexpr Direction kSecondaryToPrimary{kSecondaryGateway, kPrimaryGateway,
                                        "KroGW : Can not switch secondary to Primary(2>1)!",
                                        "KroGW : Hot Backup process completed (2->1)", kResultDone};

// The one start and clean-up of the socket library outside start-up, after a failed
// switch to the secondary.
void RestartSocketLibrary() {
    err(kLogError, "KroGW : Restart tcp/ip, rc=%d", PlatformNetStart());
    err(kLogError, "KroGW : CleanUp tcp/ip, rc=%d", PlatformNetCleanup());
}

ExchangeResult SetModeOn(DriverContext& context, const SocketSlot& slot, uint16_t channel_id,
                         uint8_t mode) {
    const SocketLease lease(context, slot);
    return SetGatewayMode(context, channel_id, lease.socket(), mode);
}

int32_t Switch(DriverContext& context, const Direction& direction, uint8_t manual) {
    MakeActive(context, direction.to);
    if (SetModeOn(context, ActiveSlot(context, ActiveChannel::Sync),
                  context.active_sockets.channel_id.load(), kGatewayModePrimary) != kExchangeDone) {
        err(kLogError, "%s", direction.refused);
        context.hot_backup_running.store(0);
        if (direction.from == kPrimaryGateway) {
            RestartSocketLibrary();
        }
        return direction.refused_result;
    }
    SocketSet& old = SocketsOf(context, direction.from);
    SetModeOn(context, old.sync, old.channel_id.load(), kGatewayModeSecondary);
    context.active_gateway.store(direction.to);
    context.gateway_ok.store(direction.to);  // the gateway's own bit: 1 or 2
    NoteSwitchedTo(context, direction.to);
    if (manual != kManualSwitch) {
        CloseSocketSlot(context, old.status);
    }
    err(kLogError, "%s", direction.completed);
    const bool primary_active = direction.to == kPrimaryGateway;
    context.primary_mode_value.store(primary_active ? kPrimaryModeValue : kSecondaryModeValue);
    context.secondary_mode_value.store(primary_active ? kSecondaryModeValue : kPrimaryModeValue);
    context.hot_backup_running.store(0);
    return kResultDone;
}

// In the sync channel's turn: no write waits for its confirmation meanwhile, and the
// set-mode exchanges on the sync channels take no write's confirmation.
int32_t SwitchActiveSet(DriverContext& context, uint8_t manual) {
    ForgetOldGatewayFlow(context);
    switch (context.active_gateway.load()) {
        case kPrimaryGateway:
            return Switch(context, kPrimaryToSecondary, manual);
        case kSecondaryGateway:
            return Switch(context, kSecondaryToPrimary, manual);
        default:
            context.hot_backup_running.store(0);
            return kResultNotDone;
    }
}

int32_t RunSwitchOver(DriverContext& context, uint8_t manual, bool sync_held) {
    // Two switch-overs at once would share the set-mode buffer and fight over the
    // active set; a reconnect meanwhile would change the sockets under it.
    if (context.gateway_change_running.exchange(1) != 0) {
        err(kLogError, "KroGW : Hot Backup refused, a gateway change is running");
        return kResultNotDone;
    }
    err(kLogError, manual == kManualSwitch ? "KroGW : Start Hot Backup process (Manual)"
                                           : "KroGW : Start Hot Backup process (Automatic)");
    context.hot_backup_running.store(1);
    PlatformSleepMs(CurrentGatewayPauses().switch_over_ms);
    int32_t result = kResultNotDone;
    if (sync_held) {
        result = SwitchActiveSet(context, manual);
    } else {
        // A write waiting for its confirmation finishes first: the set-mode exchanges on
        // the sync channels would take its confirmation, and forgetting the writes in
        // flight under it would let its slot free another write's.
        const int32_t wait_ms = SyncTurnWaitMs(context);
        const QueuedTurn turn(context.command_busy, wait_ms);
        if (turn.taken()) {
            result = SwitchActiveSet(context, manual);
        } else {
            err(kLogError, "KroGW : Sync channel busy for %d ms, Hot Backup refused",
                static_cast<int>(wait_ms));
            context.hot_backup_running.store(0);
        }
    }
    context.gateway_change_running.store(0);
    return result;
}

}  // namespace

int32_t SwitchGateway(DriverContext& context, uint8_t manual) {
    return RunSwitchOver(context, manual, false);
}

int32_t SwitchGatewayHoldingSync(DriverContext& context) {
    return RunSwitchOver(context, kAutomaticSwitch, true);
}

bool BothGatewaysUsable(const DriverContext& context) {
    return context.secondary_configured == 1 && context.gateway_ok.load() == kBothGatewaysOk;
}

}  // namespace krogw
