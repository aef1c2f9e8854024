// Plain records that the simulated gateway keeps and hands to tests.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace gwsim {

// Where the simulator's log lines go; empty for silence. Called from several threads.
using LogSink = std::function<void(const std::string& line)>;

// Result codes the simulated gateway answers with.
inline constexpr uint32_t kResultOk = 0;
inline constexpr uint32_t kResultUnknownOpcode = 1;
inline constexpr uint32_t kResultBadRequest = 2;  // body too short, data not matching the column
inline constexpr uint32_t kResultBadAddress =
    3;  // no such table or channel, rows or column out of range
inline constexpr uint32_t kResultRtuOffline = 129;

// Local time of an RTU's value; years 1970..2069 fit both time stamp forms.
struct TimeStamp {
    int year = 2000;
    int month = 1;  // 1..12
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    static TimeStamp Now();
    bool operator==(const TimeStamp&) const = default;
};

// What a set-RTU-time message told an RTU.
struct RtuClock {
    int year = 0;   // full year
    int month = 0;  // 1..12
    int day = 0;
    int weekday = 0;  // 1 Sunday .. 7 Saturday
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool operator==(const RtuClock&) const = default;
};

// Bytes 53, 54, 55 and bits 0 and 1 of byte 59 of the RTU channel status reply.
struct RtuChannelStatus {
    std::array<uint8_t, 3> values{};
    bool flag0 = true;
    bool flag1 = false;
};

struct SetCallRecord {
    uint16_t rtu = 0;
    uint8_t qr = 0;
    uint16_t qd = 0;
    uint8_t qc = 0;
    uint8_t sr = 0;
    uint16_t sd = 0;
    bool operator==(const SetCallRecord&) const = default;
};

struct ChannelInfo {
    uint16_t id = 0;
    uint8_t type = 0;  // 0 status or sync, 7 burst
    std::string instance_name;
    int connection = 0;
    bool open = true;  // false after a close-channel request or when the connection ended
};

inline constexpr uint8_t kBurstChannelType = 7;
inline constexpr int kNoChannelType = -1;

struct RecordedRequest {
    int connection = 0;
    int channel_type = kNoChannelType;  // of the connection when the request came
    uint32_t opcode = 0;
    std::vector<uint8_t> bytes;  // the whole message
    std::chrono::steady_clock::time_point received;

    uint8_t U8(size_t offset) const { return bytes.at(offset); }
    uint16_t U16(size_t offset) const;  // network order
    uint32_t U32(size_t offset) const;
    uint16_t Rtu() const { return U16(36); }
};

struct TableRow {
    uint8_t table = 0;
    uint8_t row = 0;
};

// One section of a burst report: rows of one RTU, in the order they are sent.
struct BurstSection {
    uint16_t rtu = 0;
    std::vector<TableRow> rows;

    // Rows first..first+count-1 of one table.
    static BurstSection Rows(uint16_t rtu, uint8_t table, int first, int count);
};
using BurstReport = std::vector<BurstSection>;

enum class GatewayMode { kActive, kStandby };

}  // namespace gwsim
