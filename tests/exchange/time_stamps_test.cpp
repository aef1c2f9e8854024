// RTU time stamps: their fields, the two-digit years, and local time across changes
// of daylight saving time with the conversion remembered per hour.
#include <gmock/gmock.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "exchange/local_time.h"
#include "exchange/time_stamps.h"
#include "tests/exchange/decoder_fixture.h"

namespace krogw::test {
namespace {

using TimeStampTest = DecoderFixture;
using ::testing::ElementsAre;

void SetZone(const char* zone) {
#if defined(_WIN32)
    _putenv_s("TZ", zone);
    _tzset();
#else
    setenv("TZ", zone, 1);
    tzset();
#endif
}

std::tm Fields(const LocalDateTime& t) {
    std::tm fields{};
    fields.tm_year = t.years_since_1900;
    fields.tm_mon = t.month - 1;
    fields.tm_mday = t.day;
    fields.tm_hour = t.hour;
    fields.tm_min = t.minute;
    fields.tm_sec = t.second;
    fields.tm_isdst = -1;
    return fields;
}

int64_t Reference(const LocalDateTime& t) {
    std::tm fields = Fields(t);
    return static_cast<int64_t>(std::mktime(&fields));
}

// Seconds as the host takes them, a signed 32-bit value, the same on every build: an
// instant it cannot hold goes as -1 with its value and milliseconds.
TEST_F(TimeStampTest, FieldsYearsSecondsAndTheLogLines) {
    SetZone("UTC0");
    const int32_t gate = Gate(1, 1, 0, 0);
    constexpr const char* kBeyond =
        "KroGW : Time Stamp beyond the host's seconds, gate id %d stored with -1";
    struct Case {
        Bytes stamp;
        bool full;
        int32_t seconds;
        int milliseconds;
        std::string trace;
    };
    const Case cases[] = {
        {{0x07, 0x0B, 0x04, 0x0E, 0x1E, 0x2D, 0x01, 0xF4},
         true,
         1099837845,
         500,
         "KroGW : Time Stamp = 7-11-104,14:30:45,Msec=500"},
        {{0x01, 0x01, 70, 0, 0, 0, 0, 0}, true, 0, 0, "KroGW : Time Stamp = 1-1-70,0:0:0,Msec=0"},
        {{0x04, 0xBB, 0x3B, 0x9E, 0x7D, 0x2C},
         false,
         184602631,
         300,
         "KroGW : Short Time Stamp = 7-11-75,14:30:31,Msec=300"},
        {{31, 12, 37, 23, 59, 58, 0, 7},
         true,
         2145916798,
         7,
         "KroGW : Time Stamp = 31-12-137,23:59:58,Msec=7"},
        {{19, 1, 38, 3, 14, 7, 0, 0},
         true,
         2147483647,
         0,
         "KroGW : Time Stamp = 19-1-138,3:14:7,Msec=0"},
        {{19, 1, 38, 3, 14, 8, 0, 0}, true, -1, 0, "KroGW : Time Stamp = 19-1-138,3:14:8,Msec=0"},
        {{0x01, 0x01, 69, 0, 0, 0, 0, 0}, true, -1, 0, "KroGW : Time Stamp = 1-1-169,0:0:0,Msec=0"},
        {{0x01, 0x01, 50, 12, 0, 0, 0x03, 0xE7},
         true,
         -1,
         999,
         "KroGW : Time Stamp = 1-1-150,12:0:0,Msec=999"},
        // 1 June 2045 08:09, 10 s and 11 ms; 31 December 2069 23:59:59 and 0 ms.
        {{0x02, 0xD6, 0x0A, 0x09, 0x28, 0x0B},
         false,
         -1,
         11,
         "KroGW : Short Time Stamp = 1-6-145,8:9:10,Msec=11"},
        {{0x04, 0x5C, 0xFD, 0xFB, 0xEC, 0x00},
         false,
         -1,
         0,
         "KroGW : Short Time Stamp = 31-12-169,23:59:59,Msec=0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.trace);
        hostsim::ClearLog();
        if (c.full) {
            PutFullTimeStamp(*context_, gate, 2.5, c.stamp.data());
        } else {
            PutShortTimeStamp(*context_, gate, 2.5, c.stamp.data());
        }
        std::vector<std::string> traces{c.trace};
        if (c.seconds == -1) {
            char beyond[128];
            std::snprintf(beyond, sizeof beyond, kBeyond, gate);
            traces.emplace_back(beyond);
        }
        EXPECT_EQ(Logged(kLogTrace), traces);
        const auto stored = hostsim::GateValueOf(gate);
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->value, 2.5);
        EXPECT_EQ(stored->seconds, c.seconds);
        EXPECT_EQ(stored->milliseconds, c.milliseconds);
    }
}

// Every local time that exists converts to an instant that shows it again, and a time
// that the change to summer time skips converts as mktime converts it.
TEST_F(TimeStampTest, ConversionsFollowDaylightSavingThroughTheYear) {
#if defined(_WIN32)
    SetZone("CET-1CEST");
#else
    SetZone("CET-1CEST,M3.5.0,M10.5.0/3");
#endif
    LocalHourMemo memo{};
    int offset_changes = 0;
    int64_t previous = 0;
    for (int day_of_year = 0; day_of_year < 366; ++day_of_year) {
        std::tm day{};
        day.tm_year = 124;
        day.tm_mday = 1 + day_of_year;
        day.tm_hour = 12;
        day.tm_isdst = -1;
        std::mktime(&day);  // normalizes to the calendar date
        for (int minutes = 0; minutes < 24 * 60; minutes += 7) {
            const LocalDateTime t{124, day.tm_mon + 1, day.tm_mday, minutes / 60, minutes % 60, 13};
            const int64_t seconds = LocalCalendarSeconds(memo, t);
            const auto shown_at = static_cast<std::time_t>(seconds);
            const std::tm shown = *std::localtime(&shown_at);
            const bool exists = shown.tm_hour == t.hour && shown.tm_min == t.minute &&
                                shown.tm_sec == t.second && shown.tm_mday == t.day;
            if (!exists) {
                ASSERT_EQ(seconds, Reference(t)) << day_of_year << " " << minutes;
            }
            if (previous != 0 && seconds - previous != 7 * 60 && minutes != 0) {
                ++offset_changes;
            }
            previous = seconds;
        }
    }
#if !defined(_WIN32)
    // Windows' C library reads no change rules from TZ: there the sweep checks only that
    // every conversion shows its time again.
    EXPECT_GE(offset_changes, 2);
    EXPECT_EQ(LocalCalendarSeconds(memo, {124, 3, 31, 1, 30, 0}), 1711845000);  // 00:30 UTC
    EXPECT_EQ(LocalCalendarSeconds(memo, {124, 3, 31, 3, 30, 0}), 1711848600);  // 01:30 UTC
#endif
    SetZone("UTC0");
}

}  // namespace
}  // namespace krogw::test
