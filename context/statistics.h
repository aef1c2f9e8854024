// The instance's communication statistics: one table names every statistic, and
// every reader (the statistics gates, the statistics file, the console host, the
// docs' tests) goes through it.
//
// The counts live beside the context, one block per driver number, allocated by the
// first start of that number and kept for the process: a thread or a host read that
// comes after the instance ended finds them still there. Every count is an atomic that
// any thread reads without a lock; counters only rise.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>

namespace krogw {

struct DriverContext;

enum class StatisticScope : uint8_t { Gateway, Rtu };
// A count only rises (a Prometheus counter); a gauge goes both ways.
enum class StatisticType : uint8_t { Count, Gauge };

// In the order of kStatistics: the gateway's first, then the RTU's.
enum Statistic : uint8_t {
    StatConnects,
    StatConnFail,
    StatDrops,
    StatSwitches,
    StatTxMsg,
    StatRxMsg,
    StatTxBytes,
    StatRxBytes,
    StatTimeouts,
    StatBadMsg,
    StatRttLast,
    StatRttAvg,
    StatRttMax,
    StatSilent,
    StatUp,
    StatAge,
    StatPolls,
    StatPollOk,
    StatPollFail,
    StatBursts,
    StatValues,
    StatWrites,
    StatWriteOk,
    StatWriteFail,
    StatWrLate,
    StatWrLost,
    kStatisticCount
};

inline constexpr int kFirstRtuStatistic = StatAge;
inline constexpr int kGatewayStatisticCount = kFirstRtuStatistic;
inline constexpr int kRtuStatisticCount = kStatisticCount - kFirstRtuStatistic;
// The gateway's counters are kept in the order of the table up to BADMSG.
inline constexpr int kGatewayCounters = StatBadMsg + 1;
// The RTU's counters are kept in the order of the table after AGE.
inline constexpr int kRtuCounters = kStatisticCount - StatPolls;

struct StatisticDefinition {
    Statistic id;
    StatisticScope scope;
    const char* name;       // in the gate's address, after the dot
    StatisticType type;     //
    const char* unit;       // what one step of the value is
    const char* metric;     // the file's metric name, without the krogw_ namespace
    int32_t per_base_unit;  // the file divides the value by this (ms to s: 1000)
    const char* event;      // what moves it, one sentence
};

extern const std::array<StatisticDefinition, kStatisticCount> kStatistics;

// The statistic of that scope whose name is the text (name_length characters); none
// when there is none.
std::optional<Statistic> FindStatistic(StatisticScope scope, const char* name, int name_length);

// RTUs whose counts are kept, per instance; an RTU beyond them is not counted.
inline constexpr int kStatisticsRtuSlots = 2048;

struct GatewayStatistics {
    std::atomic<uint64_t> counters[kGatewayCounters];
    std::atomic<uint64_t> reply_time_sum_ms;
    std::atomic<uint64_t> replies_timed;
    std::atomic<uint32_t> reply_time_last_ms;
    std::atomic<uint32_t> reply_time_max_ms;
    std::atomic<int64_t> last_message_ms;  // PlatformMonotonicMs of the last arrival; 0: none
    std::atomic<int64_t> up_since_ms;      // when its channels were opened; 0: down
    // Its open channels' handles, so that traffic is counted against the gateway whose
    // socket carried it.
    std::atomic<int32_t> sockets[3];
};

struct RtuStatistics {
    std::atomic<uint32_t> rtu;  // 0: the slot is free
    std::atomic<uint64_t> counters[kRtuCounters];
    std::atomic<int64_t> last_value_ms;  // when a value was last stored; 0: none yet
};

inline constexpr int kStatisticsPathBytes = 160;
inline constexpr int kStatisticsFileBufferBytes = 8192;
inline constexpr int32_t kDefaultStatisticsPeriodS = 10;
inline constexpr int kGatewayAddressBytes = 16;

// The statistics file: its settings, and what its writer needs of the instance, copied
// at start, so that the writer never reads the context, which the host may free once
// the instance has ended.
struct StatisticsFile {
    char path[kStatisticsPathBytes];  // "": no file
    int32_t period_s;
    char gateway_addresses[2][kGatewayAddressBytes];
    uint8_t secondary_configured;
    uint8_t driver_number;
    std::atomic<uint8_t> stop;     // the instance has ended: write once more and leave
    std::atomic<uint8_t> running;  // a writer thread works on it
    char buffer[kStatisticsFileBufferBytes];
};

struct InstanceStatistics {
    StatisticsFile file;
    GatewayStatistics gateways[2];
    std::atomic<uint32_t> rtu_slots_taken;
    std::atomic<uint8_t> rtu_overflow_logged;
    RtuStatistics rtus[kStatisticsRtuSlots];
};

static_assert(std::atomic<uint64_t>::is_always_lock_free &&
                  std::atomic<int64_t>::is_always_lock_free,
              "counts are read and changed without a lock from every thread");

// Gives the driver number its block, allocated the first time and reset to zero; false
// with a log line when it cannot be allocated, and the instance then counts nothing.
bool StartStatistics(uint8_t driver_number);

// The instance has ended: a statistics file writer writes once more and leaves; waits,
// bounded, until it has.
inline constexpr uint32_t kWriterEndLimitMs = 3000;
inline constexpr uint32_t kWriterEndPollMs = 10;
void EndStatistics(uint8_t driver_number);

// The driver number's block, or nullptr before its first start.
InstanceStatistics* StatisticsOf(uint8_t driver_number);
InstanceStatistics* StatisticsOf(const DriverContext& context);

// The gateway's (1 or 2) counts, or nullptr.
GatewayStatistics* GatewayStatisticsOf(const DriverContext& context, uint8_t gateway);

// The RTU's counts, taking a slot the first time; nullptr when the RTU is outside
// 1..65535 or no slot is left (logged once).
RtuStatistics* RtuStatisticsOf(InstanceStatistics& statistics, int32_t rtu);
// The RTU's counts if it has a slot, without taking one.
const RtuStatistics* FindRtuStatistics(const InstanceStatistics& statistics, int32_t rtu);

// The statistic's value now; none for a time since an event that has not happened
// (AGE before the first value, SILENT before the first message).
std::optional<uint64_t> GatewayStatisticValue(const GatewayStatistics& gateway, Statistic id,
                                              int64_t now_ms);
std::optional<uint64_t> RtuStatisticValue(const RtuStatistics& rtu, Statistic id, int64_t now_ms);

}  // namespace krogw
