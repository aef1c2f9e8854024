// Function codes 1 and 11: starting an instance and closing its gateway channels.
#include <algorithm>
#include <cstdio>

#include "config/config_reader.h"
#include "context/context.h"
#include "context/flag_lock.h"
#include "context/statistics.h"
#include "driver/handlers.h"
#include "driver/instance_threads.h"
#include "driver/reply_timeout.h"
#include "driver/statistics_file.h"
#include "gateway/active_set.h"
#include "gateway/channel.h"
#include "gateway/connections.h"
#include "host/qivpro.h"
#include "include/krogw/abi.h"
#include "platform/platform.h"

namespace krogw {
namespace {

constexpr int32_t kReplyTimeoutFloorMs = 3000;
constexpr uint32_t kClosePauseMs = 200;

// Registers the instance with the host under "GateWay_No_<nn>".
bool RegisterClient(int32_t driver_number, DriverContext& context) {
    char name[32];
    std::snprintf(name, sizeof name, "GateWay_No_%.2d", driver_number);
    if (QivMkClient(name, 1, 0, &context.client) != 0) {
        err(kLogError, "KroGW : Can not register client %s", name);
        return false;
    }
    return true;
}

void CloseGatewayChannel(DriverContext& context, uint8_t gateway) {
    CloseChannel(SocketsOf(context, gateway), context);
}

}  // namespace

int32_t StartInstance(HostRequest& request) {
    DriverContext& context = *request.context;
    const auto& arguments = *static_cast<const StartArguments*>(request.arguments);
    err(kLogError, "KroGW : TCP-GW driver,Version 8.20 compiled on %s at %s", __DATE__, __TIME__);
    // Resetting the context would pull the sockets, queues and counters from under
    // the threads of the running instance.
    if (InstanceThreadsRunning(context)) {
        err(kLogError, "KroGW : Start refused, instance %d is running", request.driver_number);
        return kResultNotDone;
    }
    context.start_flag = arguments.start_flag;
    ResetContext(static_cast<uint8_t>(request.driver_number), context);
    StartStatistics(context.driver_number);
    if (!LoadConfiguration(request.driver_number, context)) {
        return kResultFailed;
    }
    if (context.start_flag == 0) {
        return kResultDone;
    }
    if (!RegisterClient(request.driver_number, context)) {
        return kResultNotDone;
    }
    context.sync_reply_timeout =
        std::max(MillisecondsFrom10msUnits(arguments.reply_timeout_10ms), kReplyTimeoutFloorMs);
    // Loaded now, so that no time stamp or clock setting loads it later; one start at a
    // time, since a host may start its instances side by side.
    {
        static ByteFlag loading_time_zone{0};
        FlagLock loading(loading_time_zone);
        PlatformLoadTimeZone();
    }
    // An instance whose gateways do not answer still starts; a reconnect brings them up.
    ConnectGateways(context);
    const int32_t started = StartInstanceThreads(context);
    if (started == kResultDone) {
        StartStatisticsFile(context);
    }
    return started;
}

int32_t CloseInstance(HostRequest& request) {
    DriverContext& context = *request.context;
    CloseGatewayChannel(context, kPrimaryGateway);
    if (context.secondary_sockets.sync.load() != 0) {
        CloseGatewayChannel(context, kSecondaryGateway);
    }
    PlatformSleepMs(kClosePauseMs);
    return kResultDone;
}

}  // namespace krogw
