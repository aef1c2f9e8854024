#include "context/statistics.h"

#include <cstdlib>
#include <cstring>

#include "context/context.h"
#include "host/qivpro.h"
#include "platform/platform.h"

namespace krogw {

// clang-format off
const std::array<StatisticDefinition, kStatisticCount> kStatistics = {{
    {StatConnects, StatisticScope::Gateway, "CONNECTS", StatisticType::Count, "channel sets",
     "gateway_connects_total", 1,
     "its three channels were opened, at start-up or by a reconnect"},
    {StatConnFail, StatisticScope::Gateway, "CONNFAIL", StatisticType::Count, "attempts",
     "gateway_connect_failures_total", 1,
     "an attempt to open its three channels failed (connect, or the open-channel exchange)"},
    {StatDrops, StatisticScope::Gateway, "DROPS", StatisticType::Count, "losses",
     "gateway_drops_total", 1,
     "its open channels were lost: closed or reset by the gateway, a failed send or receive, "
     "a status read unanswered, a dead path; once per loss until its channels are opened again"},
    {StatSwitches, StatisticScope::Gateway, "SWITCHES", StatisticType::Count, "switch-overs",
     "gateway_switch_overs_total", 1,
     "a switch-over, automatic or asked for, made it the active gateway"},
    {StatTxMsg, StatisticScope::Gateway, "TXMSG", StatisticType::Count, "messages",
     "gateway_sent_messages_total", 1, "a message went out whole on one of its channels"},
    {StatRxMsg, StatisticScope::Gateway, "RXMSG", StatisticType::Count, "messages",
     "gateway_received_messages_total", 1, "a whole message arrived on one of its channels"},
    {StatTxBytes, StatisticScope::Gateway, "TXBYTES", StatisticType::Count, "bytes",
     "gateway_sent_bytes_total", 1, "the bytes of each message counted in TXMSG"},
    {StatRxBytes, StatisticScope::Gateway, "RXBYTES", StatisticType::Count, "bytes",
     "gateway_received_bytes_total", 1, "the bytes of each message counted in RXMSG"},
    {StatTimeouts, StatisticScope::Gateway, "TIMEOUTS", StatisticType::Count, "replies",
     "gateway_reply_timeouts_total", 1,
     "the driver waited for a reply (an exchange, or a write's confirmation) and none came "
     "in time"},
    {StatBadMsg, StatisticScope::Gateway, "BADMSG", StatisticType::Count, "messages",
     "gateway_bad_messages_total", 1,
     "a message was refused (bad head mark or length, too long, torn) or the channel was "
     "drained to find the next message"},
    {StatRttLast, StatisticScope::Gateway, "RTTLAST", StatisticType::Gauge, "ms",
     "gateway_reply_time_last_seconds", 1000,
     "the time from a request to its reply, for the last reply the driver waited for (an "
     "open-channel, mode, status or SetCall exchange, or a write's confirmation)"},
    {StatRttAvg, StatisticScope::Gateway, "RTTAVG", StatisticType::Gauge, "ms",
     "gateway_reply_time_average_seconds", 1000,
     "the mean time from a request to its reply over every such reply since start-up"},
    {StatRttMax, StatisticScope::Gateway, "RTTMAX", StatisticType::Gauge, "ms",
     "gateway_reply_time_max_seconds", 1000,
     "the longest time from a request to its reply since start-up"},
    {StatSilent, StatisticScope::Gateway, "SILENT", StatisticType::Gauge, "ms",
     "gateway_silent_seconds", 1000,
     "the time since any message arrived from it; 0xFFFFFFFF before the first"},
    {StatUp, StatisticScope::Gateway, "UP", StatisticType::Gauge, "s",
     "gateway_up_seconds", 1, "the time since its channels were opened; 0 while they are not"},
    {StatAge, StatisticScope::Rtu, "AGE", StatisticType::Gauge, "s",
     "rtu_value_age_seconds", 1,
     "the time since a value from this RTU was stored; 0xFFFFFFFF before the first"},
    {StatPolls, StatisticScope::Rtu, "POLLS", StatisticType::Count, "polls",
     "rtu_polls_total", 1, "a poll of its table rows went out to the gateway"},
    {StatPollOk, StatisticScope::Rtu, "POLLOK", StatisticType::Count, "replies",
     "rtu_poll_replies_ok_total", 1, "a poll reply with a good status arrived for it"},
    {StatPollFail, StatisticScope::Rtu, "POLLFAIL", StatisticType::Count, "polls",
     "rtu_poll_failures_total", 1,
     "a poll of it could not be sent, or its reply reported an error"},
    {StatBursts, StatisticScope::Rtu, "BURSTS", StatisticType::Count, "reports",
     "rtu_burst_reports_total", 1, "a burst report of its rows arrived"},
    {StatValues, StatisticScope::Rtu, "VALUES", StatisticType::Count, "values",
     "rtu_values_total", 1,
     "a value from a poll reply or a burst report was stored into one of the host's gates"},
    {StatWrites, StatisticScope::Rtu, "WRITES", StatisticType::Count, "writes",
     "rtu_writes_total", 1, "a write to it went out to the gateway"},
    {StatWriteOk, StatisticScope::Rtu, "WRITEOK", StatisticType::Count, "writes",
     "rtu_writes_ok_total", 1, "the gateway confirmed a write to it while its sender waited"},
    {StatWriteFail, StatisticScope::Rtu, "WRITEFAIL", StatisticType::Count, "writes",
     "rtu_write_failures_total", 1,
     "a write to it was refused by the gateway, or could not be sent"},
    {StatWrLate, StatisticScope::Rtu, "WRLATE", StatisticType::Count, "writes",
     "rtu_writes_late_total", 1, "a write to it was confirmed after its sender stopped waiting"},
    {StatWrLost, StatisticScope::Rtu, "WRLOST", StatisticType::Count, "writes",
     "rtu_writes_lost_total", 1,
     "a write to it was given up: its confirmation never came before its gateway changed, or "
     "it was dropped from the queue"},
}};
// clang-format on

namespace {

constexpr int kDriverNumbers = 256;
std::atomic<InstanceStatistics*> g_statistics[kDriverNumbers];

bool SameName(const char* name, const char* text, int length) {
    return static_cast<int>(std::strlen(name)) == length &&
           std::strncmp(name, text, static_cast<size_t>(length)) == 0;
}

uint32_t SlotHash(int32_t rtu) {
    return (static_cast<uint32_t>(rtu) * 2654435761u) % kStatisticsRtuSlots;
}

void ResetGateway(GatewayStatistics& gateway) {
    for (auto& counter : gateway.counters) {
        counter.store(0);
    }
    gateway.reply_time_sum_ms.store(0);
    gateway.replies_timed.store(0);
    gateway.reply_time_last_ms.store(0);
    gateway.reply_time_max_ms.store(0);
    gateway.last_message_ms.store(0);
    gateway.up_since_ms.store(0);
    for (auto& socket : gateway.sockets) {
        socket.store(0);
    }
}

// A writer of the last run may still be writing its last file: its settings stay
// until it leaves, and this run writes none.
void ResetFile(StatisticsFile& file, uint8_t driver_number) {
    if (file.running.load() != 0) {
        return;
    }
    file.path[0] = '\0';
    file.period_s = kDefaultStatisticsPeriodS;
    file.driver_number = driver_number;
    file.stop.store(0);
}

// Only the slots taken were ever touched: the rest is still the allocation's zero pages.
void Reset(InstanceStatistics& statistics) {
    for (GatewayStatistics& gateway : statistics.gateways) {
        ResetGateway(gateway);
    }
    for (RtuStatistics& rtu : statistics.rtus) {
        if (rtu.rtu.load(std::memory_order_relaxed) == 0) {
            continue;
        }
        for (auto& counter : rtu.counters) {
            counter.store(0);
        }
        rtu.last_value_ms.store(0);
        rtu.rtu.store(0);
    }
    statistics.rtu_slots_taken.store(0);
    statistics.rtu_overflow_logged.store(0);
}

uint64_t Since(int64_t then_ms, int64_t now_ms) {
    return now_ms > then_ms ? static_cast<uint64_t>(now_ms - then_ms) : 0;
}

}  // namespace

std::optional<Statistic> FindStatistic(StatisticScope scope, const char* name, int name_length) {
    for (const StatisticDefinition& definition : kStatistics) {
        if (definition.scope == scope && SameName(definition.name, name, name_length)) {
            return definition.id;
        }
    }
    return std::nullopt;
}

bool StartStatistics(uint8_t driver_number) {
    InstanceStatistics* statistics = g_statistics[driver_number].load();
    if (statistics == nullptr) {
        // calloc: zero pages that a slot touches only when its RTU is counted.
        void* block = std::calloc(1, sizeof(InstanceStatistics));
        if (block == nullptr) {
            err(kLogError, "KroGW : No memory for the statistics of instance %d",
                static_cast<int>(driver_number));
            return false;
        }
        auto* fresh = static_cast<InstanceStatistics*>(block);
        ResetFile(fresh->file, driver_number);
        // Two starts of one number at once: the first block stays, the other is freed.
        if (!g_statistics[driver_number].compare_exchange_strong(statistics, fresh)) {
            std::free(block);
        } else {
            return true;
        }
    }
    Reset(*statistics);
    ResetFile(statistics->file, driver_number);
    return true;
}

void EndStatistics(uint8_t driver_number) {
    InstanceStatistics* statistics = StatisticsOf(driver_number);
    if (statistics == nullptr) {
        return;
    }
    statistics->file.stop.store(1);
    // The writer logs through the host: once the instance lets its clients go, the host
    // may unload the driver under it.
    for (uint32_t waited_ms = 0;
         statistics->file.running.load() != 0 && waited_ms < kWriterEndLimitMs;
         waited_ms += kWriterEndPollMs) {
        PlatformSleepMs(kWriterEndPollMs);
    }
}

InstanceStatistics* StatisticsOf(uint8_t driver_number) {
    return g_statistics[driver_number].load(std::memory_order_acquire);
}

InstanceStatistics* StatisticsOf(const DriverContext& context) {
    return StatisticsOf(context.driver_number);
}

GatewayStatistics* GatewayStatisticsOf(const DriverContext& context, uint8_t gateway) {
    InstanceStatistics* statistics = StatisticsOf(context);
    if (statistics == nullptr || (gateway != 1 && gateway != 2)) {
        return nullptr;
    }
    return &statistics->gateways[gateway - 1];
}

RtuStatistics* RtuStatisticsOf(InstanceStatistics& statistics, int32_t rtu) {
    if (rtu < 1 || rtu > 65535) {
        return nullptr;
    }
    const auto key = static_cast<uint32_t>(rtu);
    uint32_t slot = SlotHash(rtu);
    for (int probe = 0; probe < kStatisticsRtuSlots; ++probe) {
        RtuStatistics& entry = statistics.rtus[slot];
        uint32_t owner = entry.rtu.load(std::memory_order_acquire);
        if (owner == 0 && entry.rtu.compare_exchange_strong(owner, key)) {
            statistics.rtu_slots_taken.fetch_add(1);
            return &entry;
        }
        if (owner == key) {
            return &entry;
        }
        slot = (slot + 1) % kStatisticsRtuSlots;
    }
    if (statistics.rtu_overflow_logged.exchange(1) == 0) {
        err(kLogError, "KroGW : Statistics kept for %d RTUs, Rtu %d not counted",
            kStatisticsRtuSlots, static_cast<int>(rtu));
    }
    return nullptr;
}

const RtuStatistics* FindRtuStatistics(const InstanceStatistics& statistics, int32_t rtu) {
    if (rtu < 1 || rtu > 65535) {
        return nullptr;
    }
    uint32_t slot = SlotHash(rtu);
    for (int probe = 0; probe < kStatisticsRtuSlots; ++probe) {
        const uint32_t owner = statistics.rtus[slot].rtu.load(std::memory_order_acquire);
        if (owner == static_cast<uint32_t>(rtu)) {
            return &statistics.rtus[slot];
        }
        if (owner == 0) {
            return nullptr;
        }
        slot = (slot + 1) % kStatisticsRtuSlots;
    }
    return nullptr;
}

std::optional<uint64_t> GatewayStatisticValue(const GatewayStatistics& gateway, Statistic id,
                                              int64_t now_ms) {
    switch (id) {
        case StatRttLast:
            return gateway.reply_time_last_ms.load();
        case StatRttAvg: {
            const uint64_t replies = gateway.replies_timed.load();
            return replies == 0 ? 0 : gateway.reply_time_sum_ms.load() / replies;
        }
        case StatRttMax:
            return gateway.reply_time_max_ms.load();
        case StatSilent: {
            const int64_t last = gateway.last_message_ms.load();
            if (last == 0) {
                return std::nullopt;
            }
            return Since(last, now_ms);
        }
        case StatUp: {
            const int64_t since = gateway.up_since_ms.load();
            return since == 0 ? 0 : Since(since, now_ms) / 1000;
        }
        default:
            if (id < kGatewayCounters) {
                return gateway.counters[id].load(std::memory_order_relaxed);
            }
            return std::nullopt;
    }
}

std::optional<uint64_t> RtuStatisticValue(const RtuStatistics& rtu, Statistic id, int64_t now_ms) {
    if (id == StatAge) {
        const int64_t last = rtu.last_value_ms.load();
        if (last == 0) {
            return std::nullopt;
        }
        return Since(last, now_ms) / 1000;
    }
    if (id >= StatPolls && id < kStatisticCount) {
        return rtu.counters[id - StatPolls].load(std::memory_order_relaxed);
    }
    return std::nullopt;
}

}  // namespace krogw
