#include "driver/instance_threads.h"

#include "exchange/threads.h"
#include "host/qivpro.h"
#include "include/krogw/abi.h"
#include "platform/platform.h"

namespace krogw {
namespace {

constexpr size_t kThreadStackBytes = 0x8000;
constexpr uint32_t kStopPollMs = 10;

// Counts the thread before it starts, so that it can never leave before it is counted.
bool StartCounted(DriverContext& context, PlatformThreadBody body, ThreadStarter start) {
    context.instance_threads.fetch_add(1);
    if (start(body, &context, kThreadStackBytes)) {
        return true;
    }
    context.instance_threads.fetch_sub(1);
    return false;
}

// Every wait of the burst thread is bounded, so it leaves within seconds.
void StopBurstThread(DriverContext& context) {
    context.start_abandoned.store(1);
    while (InstanceThreadsRunning(context)) {
        PlatformSleepMs(kStopPollMs);
    }
}

}  // namespace

bool InstanceThreadsRunning(const DriverContext& context) {
    const uint16_t value = context.instance_threads.load();
    return value > kThreadsMark && value <= kThreadsMark + kInstanceThreads;
}

int32_t StartInstanceThreads(DriverContext& context, ThreadStarter start) {
    context.instance_threads.store(kThreadsMark);
    if (!StartCounted(context, BurstThread, start)) {
        err(kLogError, "KroGW : Can Not open Burst thread !!!");
        return kResultFailed;
    }
    if (!StartCounted(context, CommandThread, start)) {
        err(kLogError, "KroGW : Can Not open Cmd thread !!!");
        StopBurstThread(context);
        return kResultFailed;
    }
    return kResultDone;
}

}  // namespace krogw
