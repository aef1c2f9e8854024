#include "gateway/connections.h"

#include <cstring>

#include "context/statistics_count.h"
#include "gateway/active_set.h"
#include "gateway/channel.h"
#include "gateway/channel_exchange.h"
#include "gateway/requests.h"
#include "gateway/status.h"
#include "host/qivpro.h"
#include "platform/platform.h"

namespace krogw {
namespace {

// The host hands over the context uninitialised and the configuration may name no
// secondary: an address field without its terminating zero is taken as empty, which
// fails to connect, instead of being read past its end.
const char* AddressText(const char (&field)[kAddressTextBytes]) {
    return std::memchr(field, '\0', sizeof field) != nullptr ? field : "";
}

// What tells the two gateways' openings apart.
struct GatewayOpening {
    uint8_t gateway;
    const char* address;
    int status_failed_level;
    const char* status_failed;  // these two with the driver number
    const char* status_opened;
    const char* sync_failed;  // with the driver number
    const char* sync_opened;
    const char* burst_failed;
    const char* burst_opened;
    const char* mode_failed;
    bool mode_on_sync;  // else on the status channel
};

GatewayOpening PrimaryOpening(const DriverContext& context) {
    return {kPrimaryGateway,
            AddressText(context.primary_address),
            kLogError,
            "KroGW : Can not open channel for Primary GW SYNC (KRO#%d)",
            "KroGW : Open Primary status channel success ! (KRO #%d)",
            "KroGW : Can not open channel for Primary SYNC (KRO #%d)",
            "KroGW : Open channel for Primary SYNC success !",
            "KroGW : Can not open channel Primary BURST",
            "KroGW : Open channel for BURST Primary success !",
            "KroGW : Fail to set Gateway mode",
            false};
}

GatewayOpening SecondaryOpening(const DriverContext& context) {
    return {kSecondaryGateway,
            AddressText(context.secondary_address),
            kLogTrace,
            "KroGW : Can not open channel for Secondary SYNC (KRO #%d)",
            "KroGW : Open Secondary GW status channel success ! (KRO #%d)",
            "KroGW : Can not open channel for Secondary SYNC ! (KRO #%d)",
            "KroGW : Open channel for Secondary SYNC success !",
            "KroGW : Can not open channel Secondary BURST",
            "KroGW : Open channel for BURST Secondary success !",
            "KroGW : Can not set to Secondary mode",
            true};
}

// All three channels share the gateway's channel-id slot, so the burst channel's id,
// the last one given, names the gateway from now on.
bool OpenThreeChannels(DriverContext& context, const GatewayOpening& opening, SocketSet& slots) {
    const int driver = context.driver_number;
    if (!OpenChannel(kStatusOrSyncChannelType, slots.status, opening.address, slots.channel_id,
                     context)) {
        err(opening.status_failed_level, opening.status_failed, driver);
        return false;
    }
    err(kLogError, opening.status_opened, driver);
    if (!OpenChannel(kStatusOrSyncChannelType, slots.sync, opening.address, slots.channel_id,
                     context)) {
        err(kLogError, opening.sync_failed, driver);
        return false;
    }
    err(kLogError, "%s", opening.sync_opened);
    if (!OpenChannel(kBurstChannelType, slots.burst, opening.address, slots.channel_id, context)) {
        err(kLogError, "%s", opening.burst_failed);
        return false;
    }
    err(kLogError, "%s", opening.burst_opened);
    return true;
}

bool OpenGateway(DriverContext& context, const GatewayOpening& opening) {
    SocketSet& slots = SocketsOf(context, opening.gateway);
    if (!OpenThreeChannels(context, opening, slots)) {
        NoteConnectFailed(context, opening.gateway);
        CloseGatewaySockets(context, opening.gateway);
        return false;
    }
    NoteGatewayUp(context, opening.gateway);
    const bool active = context.active_gateway.load() == opening.gateway;
    ExchangeResult mode = kExchangeFailed;
    {
        const ChannelExchange exchange(context, opening.mode_on_sync ? slots.sync : slots.status);
        mode = SetGatewayMode(context, slots.channel_id.load(), exchange.socket(),
                              active ? kGatewayModePrimary : kGatewayModeSecondary);
    }
    if (active) {
        MakeActive(context, opening.gateway);
    }
    if (mode != kExchangeDone) {
        err(kLogError, "%s", opening.mode_failed);
        return false;
    }
    return true;
}

}  // namespace

bool OpenPrimary(DriverContext& context) {
    return OpenGateway(context, PrimaryOpening(context));
}

bool OpenSecondary(DriverContext& context) {
    return OpenGateway(context, SecondaryOpening(context));
}

bool ConnectGateways(DriverContext& context) {
    if (PlatformNetStart() != 0) {
        err(kLogError, "KroGW : Can not init TCP/IP session !!!");
        return false;
    }
    const bool secondary = context.secondary_configured == 1;
    if (!OpenPrimary(context)) {
        err(kLogError, "KroGW : Fail to Init Primary GateWay");
        if (!secondary) {
            return false;
        }
    }
    MakeActive(context, kPrimaryGateway);
    if (!secondary) {
        return true;
    }
    if (!OpenSecondary(context)) {
        err(kLogError, "KroGW : Fail to Init Secondary GateWay");
    }
    ExchangeResult mode = kExchangeFailed;
    {
        const SocketLease lease(context, ActiveSlot(context, ActiveChannel::Sync));
        mode = SetGatewayMode(context, context.active_sockets.channel_id.load(), lease.socket(),
                              kGatewayModePrimary);
    }
    if (mode != kExchangeDone) {
        err(kLogError, "KroGW : Can not set to Primary mode");
        return false;
    }
    return true;
}

void CloseGatewayChannels(DriverContext& context, uint8_t gateway) {
    NoteGatewayClosed(context, gateway);
    for (SocketSlot* slot : SocketsOf(context, gateway).Slots()) {
        CloseSocketSlot(context, *slot);
    }
}

void CloseGatewaySockets(DriverContext& context, uint8_t gateway) {
    const uint8_t closed = gateway == kPrimaryGateway ? kPrimaryGateway : kSecondaryGateway;
    CloseGatewayChannels(context, closed);
    if (closed == context.active_gateway.load()) {
        for (SocketSlot* slot : context.active_sockets.Slots()) {
            slot->store(0);
        }
    }
    err(kLogTrace, "KroGW : Close Socket's of GW # %d", closed);
}

}  // namespace krogw
