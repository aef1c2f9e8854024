// The keys of the configuration file. Each line is searched for the keys in a fixed
// order; the first one found anywhere in the line decides what the line is.
#include <cstring>

#include "config/config_reader.h"
#include "config/table_layout.h"
#include "context/decimal_text.h"
#include "context/statistics.h"
#include "host/qivpro.h"
#include "platform/ipv4_text.h"

namespace krogw {
namespace {

using KeyAction = void (*)(const char* at_key, const char* line, ConfigSeen& seen,
                           DriverContext& context);

struct ConfigKey {
    const char* name;
    KeyAction apply;
};

// The value begins after the key and one separator character. A line that ends
// before that has an empty value. A value that does not fit the field is refused
// whole: a cut address would name another gateway. So is one that is not strict
// dotted decimal, which platforms would otherwise read differently or not at all.
bool StoreGatewayAddress(const char* at_key, size_t key_length, const char* line, ConfigSeen& seen,
                         char (&field)[kAddressTextBytes]) {
    const size_t skip = key_length + 1;
    const char* value = std::strlen(at_key) >= skip ? at_key + skip : "";
    const size_t length = std::strlen(value);
    if (length == 0 || length >= sizeof field) {
        err(kLogError, "kroGW : GateWay address must have 1..15 characters, line refused: %s",
            line);
        ++seen.refused_lines;
        return false;
    }
    uint32_t address = 0;
    if (!ParseIpv4Text(value, &address)) {
        err(kLogError, "kroGW : GateWay address is not dotted decimal, line refused: %s", line);
        ++seen.refused_lines;
        return false;
    }
    std::memcpy(field, value, length + 1);
    return true;
}

void ApplyPrimary(const char* at_key, const char* line, ConfigSeen& seen, DriverContext& context) {
    if (StoreGatewayAddress(at_key, std::strlen("PRIMARY"), line, seen, context.primary_address)) {
        seen.primary = true;
        err(kLogError, "kroGW : Primary GateWay address %s", context.primary_address);
    }
}

void ApplySecondary(const char* at_key, const char* line, ConfigSeen& seen,
                    DriverContext& context) {
    if (StoreGatewayAddress(at_key, std::strlen("SECONDARY"), line, seen,
                            context.secondary_address)) {
        context.secondary_configured = 1;
        context.gateway_ok = 3;  // both gateways usable
        err(kLogError, "kroGW : Secondary GateWay address %s", context.secondary_address);
    }
}

// The decimal number directly after the first "=" behind the key; 0 when there is
// no "=" or no digit after it.
int32_t NumberAfterEquals(const char* at_key) {
    int32_t value = 0;
    const char* equals = std::strchr(at_key, '=');
    if (equals != nullptr) {
        ReadDecimal(equals + 1, kUnlimitedWidth, value);
    }
    return value;
}

struct NumberRule {
    int32_t lowest;
    int32_t highest;
    const char* stored_format;   // gets the value
    const char* refused_format;  // no arguments
};

void ApplyNumber(const char* at_key, const NumberRule& rule, int32_t& field, ConfigSeen& seen) {
    const int32_t value = NumberAfterEquals(at_key);
    if (value < rule.lowest || value > rule.highest) {
        err(kLogError, "%s", rule.refused_format);
        ++seen.refused_lines;
        return;
    }
    field = value;
    err(kLogError, rule.stored_format, value);
}

void ApplyPollBufferLength(const char* at_key, const char* /*line*/, ConfigSeen& seen,
                           DriverContext& context) {
    constexpr NumberRule kRule{10, 99, "KroGW : Polling buffer length is %d",
                               "KroGW : Illegal length for Polling Buffer (10..99)"};
    ApplyNumber(at_key, kRule, context.poll_buffer_length, seen);
}

void ApplyCmdBufferLength(const char* at_key, const char* /*line*/, ConfigSeen& seen,
                          DriverContext& context) {
    constexpr NumberRule kRule{10, 99, "KroGW : Command buffer length is %d",
                               "KroGW : Illegal len for command Buffer (10..99)"};
    ApplyNumber(at_key, kRule, context.cmd_buffer_length, seen);
}

void ApplyCmdResponseTime(const char* at_key, const char* /*line*/, ConfigSeen& seen,
                          DriverContext& context) {
    constexpr NumberRule kRule{50, 30000, "KroGW : Command Timeout is %d",
                               "KroGW : Illegal value for command time out(50..30000)"};
    ApplyNumber(at_key, kRule, context.cmd_response_time, seen);
}

// 0 turns probing off; a value without a digit is refused like one out of range.
void ApplyKeepAlive(const char* at_key, const char* /*line*/, ConfigSeen& seen,
                    DriverContext& context) {
    constexpr int32_t kMostIdleS = 3600;
    const char* equals = std::strchr(at_key, '=');
    int32_t value = -1;
    if (equals == nullptr || !ReadDecimal(equals + 1, kUnlimitedWidth, value) || value < 0 ||
        value > kMostIdleS) {
        err(kLogError, "KroGW : Illegal keepalive time (0..3600 s)");
        ++seen.refused_lines;
        return;
    }
    context.keepalive_idle_s = value;
    err(kLogError, "KroGW : Keepalive after %d s idle", static_cast<int>(value));
}

// The path runs from after "=" to the end of the line. An instance without statistics
// (one the checker reads) keeps it nowhere.
void ApplyStatsFile(const char* at_key, const char* /*line*/, ConfigSeen& seen,
                    DriverContext& context) {
    const char* equals = std::strchr(at_key, '=');
    const char* path = equals != nullptr ? equals + 1 : "";
    const size_t length = std::strlen(path);
    // Room for the temporary name beside it.
    constexpr size_t kTemporarySuffixBytes = 32;
    if (length == 0 || length + kTemporarySuffixBytes >= kStatisticsPathBytes) {
        err(kLogError, "KroGW : Illegal statistics file name, line refused");
        ++seen.refused_lines;
        return;
    }
    if (InstanceStatistics* statistics = StatisticsOf(context)) {
        std::memcpy(statistics->file.path, path, length + 1);
    }
    err(kLogError, "KroGW : Statistics file %s", path);
}

void ApplyStatsPeriod(const char* at_key, const char* /*line*/, ConfigSeen& seen,
                      DriverContext& context) {
    constexpr int32_t kLongestS = 3600;
    const char* equals = std::strchr(at_key, '=');
    int32_t value = 0;
    if (equals == nullptr || !ReadDecimal(equals + 1, kUnlimitedWidth, value) || value < 1 ||
        value > kLongestS) {
        err(kLogError, "KroGW : Illegal statistics period (1..3600 s)");
        ++seen.refused_lines;
        return;
    }
    if (InstanceStatistics* statistics = StatisticsOf(context)) {
        statistics->file.period_s = value;
    }
    err(kLogError, "KroGW : Statistics written every %d s", static_cast<int>(value));
}

// Word switches act only when their word stands somewhere after the key; any other
// value leaves the default and logs nothing.
void ApplySignRtu(const char* at_key, const char* /*line*/, ConfigSeen& /*seen*/,
                  DriverContext& context) {
    if (std::strstr(at_key, "NO") != nullptr) {
        context.sign_rtu_on_fail = 0;
        err(kLogError, "kroGW : Sign RTU ON FAIL = NO");
    }
}

void ApplyParse(const char* at_key, const char* /*line*/, ConfigSeen& /*seen*/,
                DriverContext& context) {
    if (std::strstr(at_key, "NO") != nullptr) {
        context.parse_flag = 0;
        err(kLogError, "kroGW : Set Parse flag to NO");
    }
}

void ApplyPollResult(const char* at_key, const char* /*line*/, ConfigSeen& /*seen*/,
                     DriverContext& context) {
    if (std::strstr(at_key, "OFF") != nullptr) {
        context.poll_result_on_write = 0;
        err(kLogError, "kroGW : Set Poll result on Write to OFF");
    }
}

void ApplyRtuInitialState(const char* at_key, const char* /*line*/, ConfigSeen& /*seen*/,
                          DriverContext& context) {
    if (std::strstr(at_key, "ON") != nullptr) {
        for (auto& state : context.rtu_state) {
            state.store(RtuActive, std::memory_order_relaxed);
        }
        err(kLogError, "kroGW : Set Default State of RTU's to active");
    }
}

// In the order of the search. The statistics file's path comes first, so that a path
// that holds another key's name is still a path.
constexpr ConfigKey kConfigKeys[] = {
    {"STATS_FILE", ApplyStatsFile},
    {"PRIMARY", ApplyPrimary},
    {"SECONDARY", ApplySecondary},
    {"SIGN_RTU", ApplySignRtu},
    {"POLL_BUFFER_LENGTH", ApplyPollBufferLength},
    {"CMD_BUFFER_LENGTH", ApplyCmdBufferLength},
    {"CMD_RESPONSE_TIME", ApplyCmdResponseTime},
    {"PARSE", ApplyParse},
    {"POLL_RESULT", ApplyPollResult},
    {"RTU_INITIAL_STATE", ApplyRtuInitialState},
    {"KEEPALIVE", ApplyKeepAlive},
    {"STATS_PERIOD", ApplyStatsPeriod},
};

}  // namespace

void ParseConfigLine(const char* line, ConfigSeen& seen, DriverContext& context) {
    for (const ConfigKey& key : kConfigKeys) {
        const char* at_key = std::strstr(line, key.name);
        if (at_key != nullptr) {
            key.apply(at_key, line, seen, context);
            return;
        }
    }
    ParseTableTypeLine(line, seen, context);
}

}  // namespace krogw
