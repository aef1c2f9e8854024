// Table rows as the gateway puts them on the wire. In poll replies type-1 elements are
// single bits packed from the most significant bit down, across columns and rows; every
// other item starts on a byte boundary. Burst rows carry type-1 elements as whole bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/gwsim/table_model.h"

namespace gwsim {

class DataWriter {
  public:
    explicit DataWriter(std::vector<uint8_t>& out) : out_(out) {}

    void Bit(bool set);
    // Closes a partly filled byte, so the next item starts on a fresh one.
    void Align() { mask_ = 0x80; }
    void U8(uint8_t value);
    void U16(uint16_t value);
    void U32(uint32_t value);
    // Time stamps written with a year the wire cannot carry, sent at the nearest end.
    void NoteClampedStamp() { ++clamped_stamps_; }
    int clamped_stamps() const { return clamped_stamps_; }

  private:
    std::vector<uint8_t>& out_;
    uint8_t mask_ = 0x80;  // 0x80: no byte is partly filled
    int clamped_stamps_ = 0;
};

// The elements of one row: in a time-stamped table column 0 and its time stamp only.
void WritePollRow(DataWriter& writer, const RtuTable& table, int row);
// Table number, row number and the row's elements at burst sizes.
void WriteBurstRow(DataWriter& writer, uint8_t table_number, const RtuTable& table, int row);

// 8 bytes for element type 4, 6 bytes for type 5. A stamp before 1970 goes as the first
// moment of 1970, one after 2069 as the last of 2069 (a wrong system clock gives such
// stamps); the writer counts them.
void WriteTimeStamp(DataWriter& writer, uint8_t stamp_type, const TimeStamp& stamp);
// A log line when the writer clamped stamps of the RTU's rows.
void NoteClampedStamps(const LogSink& log, uint16_t rtu, const DataWriter& writer);

}  // namespace gwsim
