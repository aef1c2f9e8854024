#include "tools/gwsim/types.h"

#include <ctime>
#include <stdexcept>

#include "gateway/frame.h"

namespace gwsim {

TimeStamp TimeStamp::Now() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto since_second = now - std::chrono::system_clock::from_time_t(seconds);
    TimeStamp stamp;
    stamp.year = local.tm_year + 1900;
    stamp.month = local.tm_mon + 1;
    stamp.day = local.tm_mday;
    stamp.hour = local.tm_hour;
    stamp.minute = local.tm_min;
    stamp.second = local.tm_sec;
    stamp.millisecond = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since_second).count() % 1000);
    return stamp;
}

uint16_t RecordedRequest::U16(size_t offset) const {
    if (offset + 2 > bytes.size()) {
        throw std::out_of_range("request shorter than the field");
    }
    return krogw::GetU16(bytes.data() + offset);
}

uint32_t RecordedRequest::U32(size_t offset) const {
    if (offset + 4 > bytes.size()) {
        throw std::out_of_range("request shorter than the field");
    }
    return krogw::GetU32(bytes.data() + offset);
}

BurstSection BurstSection::Rows(uint16_t rtu, uint8_t table, int first, int count) {
    BurstSection section{rtu, {}};
    for (int row = first; row < first + count; ++row) {
        section.rows.push_back({table, static_cast<uint8_t>(row)});
    }
    return section;
}

}  // namespace gwsim
