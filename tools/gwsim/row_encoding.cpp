#include "tools/gwsim/row_encoding.h"

#include <string>

namespace gwsim {
namespace {

// Both forms keep only two digits of the year: 70..99 are 1970..1999, 00..69 2000..2069.
constexpr int kFirstYear = 1970;
constexpr int kLastYear = 2069;

TimeStamp ClampedToWireYears(const TimeStamp& stamp) {
    if (stamp.year < kFirstYear) {
        return TimeStamp{kFirstYear, 1, 1, 0, 0, 0, 0};
    }
    if (stamp.year > kLastYear) {
        return TimeStamp{kLastYear, 12, 31, 23, 59, 59, 999};
    }
    return stamp;
}

void WriteElement(DataWriter& writer, uint8_t type, uint32_t value, bool packed_bits) {
    switch (type) {
        case krogw::kElement8Bit:
            if (packed_bits) {
                writer.Bit(value != 0);
            } else {
                writer.U8(static_cast<uint8_t>(value));
            }
            break;
        case krogw::kElement16Bit:
            writer.U16(static_cast<uint16_t>(value));
            break;
        default:  // 32-bit values, and time stamp types outside column 1, take 4 bytes
            writer.U32(value);
            break;
    }
}

void WriteRowElements(DataWriter& writer, const RtuTable& table, int row, bool packed_bits) {
    const TableType& layout = table.layout;
    for (size_t column = 0; column < layout.columns.size(); ++column) {
        WriteElement(writer, layout.columns[column], table.At(row, static_cast<int>(column)),
                     packed_bits);
        if (column == 0 && layout.TimeStamped()) {
            writer.Align();
            WriteTimeStamp(writer, layout.StampType(), table.stamps[static_cast<size_t>(row)]);
            return;
        }
    }
}

}  // namespace

void DataWriter::Bit(bool set) {
    if (mask_ == 0x80) {
        out_.push_back(0);
    }
    if (set) {
        out_.back() = static_cast<uint8_t>(out_.back() | mask_);
    }
    mask_ = static_cast<uint8_t>(mask_ >> 1);
    if (mask_ == 0) {
        mask_ = 0x80;
    }
}

void DataWriter::U8(uint8_t value) {
    Align();
    out_.push_back(value);
}

void DataWriter::U16(uint16_t value) {
    U8(static_cast<uint8_t>(value >> 8));
    U8(static_cast<uint8_t>(value));
}

void DataWriter::U32(uint32_t value) {
    U16(static_cast<uint16_t>(value >> 16));
    U16(static_cast<uint16_t>(value));
}

void WritePollRow(DataWriter& writer, const RtuTable& table, int row) {
    WriteRowElements(writer, table, row, true);
}

void WriteBurstRow(DataWriter& writer, uint8_t table_number, const RtuTable& table, int row) {
    writer.U8(table_number);
    writer.U8(static_cast<uint8_t>(row));
    WriteRowElements(writer, table, row, false);
}

void WriteTimeStamp(DataWriter& writer, uint8_t stamp_type, const TimeStamp& given) {
    const TimeStamp stamp = ClampedToWireYears(given);
    if (!(stamp == given)) {
        writer.NoteClampedStamp();
    }
    const auto year = static_cast<uint8_t>(stamp.year % 100);
    if (stamp_type == krogw::kElementTimeStamp) {
        writer.U8(static_cast<uint8_t>(stamp.day));
        writer.U8(static_cast<uint8_t>(stamp.month));
        writer.U8(year);
        writer.U8(static_cast<uint8_t>(stamp.hour));
        writer.U8(static_cast<uint8_t>(stamp.minute));
        writer.U8(static_cast<uint8_t>(stamp.second));
        writer.U16(static_cast<uint16_t>(stamp.millisecond));
        return;
    }
    writer.U16(static_cast<uint16_t>((stamp.month & 0x0F) | year << 4));
    writer.U16(static_cast<uint16_t>((stamp.minute & 0x3F) | (stamp.hour & 0x1F) << 6 |
                                     (stamp.day & 0x1F) << 11));
    writer.U16(static_cast<uint16_t>((stamp.millisecond & 0x3FF) | (stamp.second & 0x3F) << 10));
}

void NoteClampedStamps(const LogSink& log, uint16_t rtu, const DataWriter& writer) {
    if (log && writer.clamped_stamps() > 0) {
        log("RTU " + std::to_string(rtu) + ": " + std::to_string(writer.clamped_stamps()) +
            " time stamps outside the years 1970-2069 sent as the nearest end of that range;"
            " is the system clock right?");
    }
}

}  // namespace gwsim
