#include "context/statistics_count.h"

#include "context/context.h"
#include "platform/platform.h"

namespace krogw {
namespace {

// Counters that several threads move.
void Add(std::atomic<uint64_t>& counter, uint64_t amount) {
    counter.fetch_add(amount, std::memory_order_relaxed);
}

GatewayStatistics* GatewayOfSocket(const DriverContext& context, int32_t socket) {
    InstanceStatistics* statistics = StatisticsOf(context);
    if (statistics == nullptr || socket == 0) {
        return nullptr;
    }
    for (GatewayStatistics& gateway : statistics->gateways) {
        for (const auto& channel : gateway.sockets) {
            if (channel.load(std::memory_order_relaxed) == socket) {
                return &gateway;
            }
        }
    }
    return nullptr;
}

void CountOnGateway(const DriverContext& context, uint8_t gateway, Statistic id) {
    if (GatewayStatistics* counts = GatewayStatisticsOf(context, gateway)) {
        Add(counts->counters[id], 1);
    }
}

void RaiseTo(std::atomic<uint32_t>& maximum, uint32_t value) {
    uint32_t current = maximum.load();
    while (value > current && !maximum.compare_exchange_weak(current, value)) {
    }
}

}  // namespace

void NoteGatewayUp(const DriverContext& context, uint8_t gateway) {
    if (GatewayStatistics* counts = GatewayStatisticsOf(context, gateway)) {
        Add(counts->counters[StatConnects], 1);
        counts->up_since_ms.store(PlatformMonotonicMs());
    }
}

void NoteConnectFailed(const DriverContext& context, uint8_t gateway) {
    CountOnGateway(context, gateway, StatConnFail);
}

void NoteGatewayLost(const DriverContext& context, uint8_t gateway) {
    if (GatewayStatistics* counts = GatewayStatisticsOf(context, gateway)) {
        if (counts->up_since_ms.exchange(0) != 0) {
            Add(counts->counters[StatDrops], 1);
        }
    }
}

void NoteGatewayClosed(const DriverContext& context, uint8_t gateway) {
    if (GatewayStatistics* counts = GatewayStatisticsOf(context, gateway)) {
        counts->up_since_ms.store(0);
    }
}

void NoteSwitchedTo(const DriverContext& context, uint8_t gateway) {
    CountOnGateway(context, gateway, StatSwitches);
}

void NoteChannelSocket(const DriverContext& context, uint8_t gateway, int channel, int32_t socket) {
    if (GatewayStatistics* counts = GatewayStatisticsOf(context, gateway)) {
        if (channel >= 0 && channel < 3) {
            counts->sockets[channel].store(socket);
        }
    }
}

void ForgetChannelSocket(const DriverContext& context, int32_t socket) {
    InstanceStatistics* statistics = StatisticsOf(context);
    if (statistics == nullptr || socket == 0) {
        return;
    }
    for (GatewayStatistics& gateway : statistics->gateways) {
        for (auto& channel : gateway.sockets) {
            int32_t expected = socket;
            channel.compare_exchange_strong(expected, 0);
        }
    }
}

void CountSent(const DriverContext& context, int32_t socket, size_t bytes) {
    if (GatewayStatistics* counts = GatewayOfSocket(context, socket)) {
        Add(counts->counters[StatTxMsg], 1);
        Add(counts->counters[StatTxBytes], bytes);
    }
}

void CountReceived(const DriverContext& context, int32_t socket, size_t bytes) {
    if (GatewayStatistics* counts = GatewayOfSocket(context, socket)) {
        Add(counts->counters[StatRxMsg], 1);
        Add(counts->counters[StatRxBytes], bytes);
        counts->last_message_ms.store(PlatformMonotonicMs(), std::memory_order_relaxed);
    }
}

void CountBadMessage(const DriverContext& context, int32_t socket) {
    if (GatewayStatistics* counts = GatewayOfSocket(context, socket)) {
        Add(counts->counters[StatBadMsg], 1);
    }
}

void CountTimeout(const DriverContext& context, int32_t socket) {
    if (GatewayStatistics* counts = GatewayOfSocket(context, socket)) {
        Add(counts->counters[StatTimeouts], 1);
    }
}

void CountReplyTime(const DriverContext& context, int32_t socket, int64_t reply_ms) {
    GatewayStatistics* counts = GatewayOfSocket(context, socket);
    if (counts == nullptr || reply_ms < 0) {
        return;
    }
    const auto ms = static_cast<uint32_t>(reply_ms > UINT32_MAX ? UINT32_MAX : reply_ms);
    counts->reply_time_last_ms.store(ms);
    RaiseTo(counts->reply_time_max_ms, ms);
    Add(counts->reply_time_sum_ms, ms);
    Add(counts->replies_timed, 1);
}

void CountChannelLost(const DriverContext& context, int32_t socket) {
    GatewayStatistics* counts = GatewayOfSocket(context, socket);
    if (counts != nullptr && counts->up_since_ms.exchange(0) != 0) {
        Add(counts->counters[StatDrops], 1);
    }
}

void CountRtu(const DriverContext& context, int32_t rtu, Statistic id, uint64_t amount) {
    InstanceStatistics* statistics = StatisticsOf(context);
    if (statistics == nullptr || id < StatPolls || id >= kStatisticCount) {
        return;
    }
    if (RtuStatistics* counts = RtuStatisticsOf(*statistics, rtu)) {
        Add(counts->counters[id - StatPolls], amount);
    }
}

void NoteValuesStored(const DriverContext& context, int32_t rtu, uint64_t values) {
    InstanceStatistics* statistics = StatisticsOf(context);
    if (statistics == nullptr || values == 0) {
        return;
    }
    if (RtuStatistics* counts = RtuStatisticsOf(*statistics, rtu)) {
        Add(counts->counters[StatValues - StatPolls], values);
        counts->last_value_ms.store(PlatformMonotonicMs(), std::memory_order_relaxed);
    }
}

}  // namespace krogw
