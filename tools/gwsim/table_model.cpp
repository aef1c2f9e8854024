#include "tools/gwsim/table_model.h"

#include <stdexcept>
#include <utility>

namespace gwsim {
namespace {

std::string TableName(uint16_t rtu, uint8_t table) {
    return "RTU " + std::to_string(rtu) + " table " + std::to_string(table);
}

}  // namespace

bool TableType::TimeStamped() const {
    return columns.size() > 1 &&
           (columns[1] == krogw::kElementTimeStamp || columns[1] == krogw::kElementShortTimeStamp);
}

TableType MakeTableType(std::vector<uint8_t> columns) {
    if (columns.size() > 8) {
        throw std::invalid_argument("more than 8 columns");
    }
    for (const uint8_t type : columns) {
        if (type < krogw::kElement8Bit || type > krogw::kElementShortTimeStamp) {
            throw std::invalid_argument("element type " + std::to_string(type) + " is not 1 to 5");
        }
    }
    TableType table_type{std::move(columns)};
    if (table_type.TimeStamped()) {
        const size_t needed = table_type.StampType() == krogw::kElementTimeStamp ? 3 : 4;
        if (table_type.columns.size() != needed) {
            throw std::invalid_argument("a time stamp of type " +
                                        std::to_string(table_type.StampType()) + " needs " +
                                        std::to_string(needed) + " columns");
        }
    }
    return table_type;
}

TableType ParseTableType(std::string_view list) {
    std::vector<uint8_t> columns;
    bool ended = false;
    while (!list.empty()) {
        const size_t comma = list.find(',');
        const std::string_view entry = list.substr(0, comma);
        if (ended) {
            throw std::invalid_argument("entries after the closing 0");
        }
        if (entry.size() != 1 || entry[0] < '0' || entry[0] > '9') {
            throw std::invalid_argument("entry '" + std::string(entry) + "' is not one digit");
        }
        if (entry[0] == '0') {
            ended = true;
        } else {
            columns.push_back(static_cast<uint8_t>(entry[0] - '0'));
        }
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    }
    if (!ended) {
        throw std::invalid_argument("the list does not end with 0");
    }
    return MakeTableType(std::move(columns));
}

uint32_t& RtuTable::At(int row, int column) {
    if (!HasRow(row) || column < 0 || static_cast<size_t>(column) >= layout.columns.size()) {
        throw std::invalid_argument("row " + std::to_string(row) + " column " +
                                    std::to_string(column) + " is outside the table");
    }
    return values[static_cast<size_t>(row) * layout.columns.size() + static_cast<size_t>(column)];
}

uint32_t RtuTable::At(int row, int column) const {
    return const_cast<RtuTable*>(this)->At(row, column);
}

void TableModel::DefineTableType(uint8_t number, TableType type) {
    if (number > 99) {
        throw std::invalid_argument("table type " + std::to_string(number) + " is not 0 to 99");
    }
    types_[number] = std::move(type);
}

const TableType& TableModel::Type(uint8_t number) const {
    const auto found = types_.find(number);
    if (found == types_.end()) {
        throw std::invalid_argument("table type " + std::to_string(number) + " is not defined");
    }
    return found->second;
}

Rtu& TableModel::DefineRtu(uint16_t rtu) {
    return rtus_[rtu];
}

Rtu* TableModel::FindRtu(uint16_t rtu) {
    const auto found = rtus_.find(rtu);
    return found == rtus_.end() ? nullptr : &found->second;
}

const Rtu* TableModel::FindRtu(uint16_t rtu) const {
    return const_cast<TableModel*>(this)->FindRtu(rtu);
}

Rtu& TableModel::GetRtu(uint16_t rtu) {
    Rtu* found = FindRtu(rtu);
    if (found == nullptr) {
        throw std::invalid_argument("RTU " + std::to_string(rtu) + " is not defined");
    }
    return *found;
}

const Rtu& TableModel::GetRtu(uint16_t rtu) const {
    return const_cast<TableModel*>(this)->GetRtu(rtu);
}

RtuTable& TableModel::DefineTable(uint16_t rtu, uint8_t table, uint8_t type_number, int rows) {
    if (rows < 1 || rows > 255) {
        throw std::invalid_argument(TableName(rtu, table) + ": rows must be 1 to 255");
    }
    RtuTable defined;
    defined.type_number = type_number;
    defined.layout = Type(type_number);
    defined.rows = rows;
    defined.values.assign(static_cast<size_t>(rows) * defined.layout.columns.size(), 0);
    defined.stamps.assign(static_cast<size_t>(rows), TimeStamp::Now());
    defined.changed.assign(static_cast<size_t>(rows), true);
    return DefineRtu(rtu).tables[table] = std::move(defined);
}

RtuTable* TableModel::FindTable(uint16_t rtu, uint8_t table) {
    Rtu* found = FindRtu(rtu);
    if (found == nullptr) {
        return nullptr;
    }
    const auto at = found->tables.find(table);
    return at == found->tables.end() ? nullptr : &at->second;
}

const RtuTable* TableModel::FindTable(uint16_t rtu, uint8_t table) const {
    return const_cast<TableModel*>(this)->FindTable(rtu, table);
}

RtuTable& TableModel::GetTable(uint16_t rtu, uint8_t table) {
    RtuTable* found = FindTable(rtu, table);
    if (found == nullptr) {
        throw std::invalid_argument(TableName(rtu, table) + " is not defined");
    }
    return *found;
}

const RtuTable& TableModel::GetTable(uint16_t rtu, uint8_t table) const {
    return const_cast<TableModel*>(this)->GetTable(rtu, table);
}

void TableModel::SetValue(uint16_t rtu, uint8_t table, int row, int column, uint32_t value) {
    StoreValue(GetTable(rtu, table), row, column, value);
}

uint32_t TableModel::Value(uint16_t rtu, uint8_t table, int row, int column) const {
    return GetTable(rtu, table).At(row, column);
}

void TableModel::SetTimeStamp(uint16_t rtu, uint8_t table, int row, const TimeStamp& stamp) {
    RtuTable& found = GetTable(rtu, table);
    if (!found.layout.TimeStamped()) {
        throw std::invalid_argument(TableName(rtu, table) + " carries no time stamps");
    }
    if (!found.HasRow(row)) {
        throw std::invalid_argument("row " + std::to_string(row) + " is outside " +
                                    TableName(rtu, table));
    }
    const bool valid = stamp.year >= 1970 && stamp.year <= 2069 && stamp.month >= 1 &&
                       stamp.month <= 12 && stamp.day >= 1 && stamp.day <= 31 && stamp.hour >= 0 &&
                       stamp.hour <= 23 && stamp.minute >= 0 && stamp.minute <= 59 &&
                       stamp.second >= 0 && stamp.second <= 59 && stamp.millisecond >= 0 &&
                       stamp.millisecond <= 999;
    if (!valid) {
        throw std::invalid_argument("time stamp out of range (years 1970 to 2069)");
    }
    found.stamps[static_cast<size_t>(row)] = stamp;
    found.changed[static_cast<size_t>(row)] = true;
}

void StoreValue(RtuTable& table, int row, int column, uint32_t value) {
    table.At(row, column) = value;
    table.changed[static_cast<size_t>(row)] = true;
    if (column == 0 && table.layout.TimeStamped()) {
        table.stamps[static_cast<size_t>(row)] = TimeStamp::Now();
    }
}

}  // namespace gwsim
