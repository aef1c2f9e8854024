// The RTUs behind the simulated gateway: their tables, laid out by numbered table types
// with the same element types as the driver's configuration, their values and time
// stamps, and what the RTUs were told (clock, channel status). Not thread-safe: the
// gateway guards it with its own lock. Bad arguments throw std::invalid_argument.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/table_layout.h"
#include "tools/gwsim/types.h"

namespace gwsim {

struct TableType {
    std::vector<uint8_t> columns;  // element types 1..5, at most 8

    // Column 1 of type 4 or 5: each row holds only column 0's value and its time stamp.
    bool TimeStamped() const;
    uint8_t StampType() const { return columns.at(1); }
};

// Checks a column list by the configuration's rules (types 1..5, at most eight,
// a time stamp as second type needs exactly three or four columns).
TableType MakeTableType(std::vector<uint8_t> columns);
// "1,2,3,0": the configuration's list syntax, ending with the entry 0.
TableType ParseTableType(std::string_view list);

struct RtuTable {
    uint8_t type_number = 0;
    TableType layout;
    int rows = 0;
    std::vector<uint32_t> values;   // rows x columns
    std::vector<TimeStamp> stamps;  // one per row
    std::vector<bool> changed;      // rows not yet sent in a row-list poll reply

    uint32_t& At(int row, int column);
    uint32_t At(int row, int column) const;
    bool HasRow(int row) const { return row >= 0 && row < rows; }
};

struct Rtu {
    bool online = true;
    std::map<uint8_t, RtuTable> tables;
    std::optional<RtuClock> clock;
    RtuChannelStatus channel_status;
};

class TableModel {
  public:
    void DefineTableType(uint8_t number, TableType type);
    const TableType& Type(uint8_t number) const;

    // Defining an RTU again keeps its tables.
    Rtu& DefineRtu(uint16_t rtu);
    Rtu* FindRtu(uint16_t rtu);
    const Rtu* FindRtu(uint16_t rtu) const;
    Rtu& GetRtu(uint16_t rtu);
    const Rtu& GetRtu(uint16_t rtu) const;

    // Rows 0..rows-1, 1 to 255 of them; the RTU is defined when it is not yet.
    // Values start at 0 and time stamps at the moment of definition.
    RtuTable& DefineTable(uint16_t rtu, uint8_t table, uint8_t type_number, int rows);
    RtuTable* FindTable(uint16_t rtu, uint8_t table);
    const RtuTable* FindTable(uint16_t rtu, uint8_t table) const;
    RtuTable& GetTable(uint16_t rtu, uint8_t table);
    const RtuTable& GetTable(uint16_t rtu, uint8_t table) const;

    // Marks the row changed; column 0 of a time-stamped table also takes a fresh stamp.
    void SetValue(uint16_t rtu, uint8_t table, int row, int column, uint32_t value);
    uint32_t Value(uint16_t rtu, uint8_t table, int row, int column) const;
    // Only time-stamped tables carry stamps; the row counts as changed.
    void SetTimeStamp(uint16_t rtu, uint8_t table, int row, const TimeStamp& stamp);

    const std::map<uint16_t, Rtu>& rtus() const { return rtus_; }

  private:
    std::map<uint8_t, TableType> types_;
    std::map<uint16_t, Rtu> rtus_;
};

// Stores a value written through the gateway (or the API) into a table's cell.
void StoreValue(RtuTable& table, int row, int column, uint32_t value);

}  // namespace gwsim
