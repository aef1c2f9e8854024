// Rows and time stamps in the exact bytes the driver decodes.
#include <gtest/gtest.h>

#include "tools/gwsim/row_encoding.h"
#include "tools/gwsim/table_model.h"

namespace gwsim {
namespace {

using Bytes = std::vector<uint8_t>;

RtuTable TableOf(const char* layout, int rows, const std::vector<std::vector<uint32_t>>& values) {
    TableModel model;
    model.DefineTableType(1, ParseTableType(layout));
    RtuTable& table = model.DefineTable(1, 5, 1, rows);
    for (size_t row = 0; row < values.size(); ++row) {
        for (size_t column = 0; column < values[row].size(); ++column) {
            StoreValue(table, static_cast<int>(row), static_cast<int>(column), values[row][column]);
        }
    }
    return table;
}

Bytes PollRows(const RtuTable& table) {
    Bytes out;
    DataWriter writer(out);
    for (int row = 0; row < table.rows; ++row) {
        WritePollRow(writer, table, row);
    }
    return out;
}

TEST(GwsimEncoding, PollRowsPackBitsAcrossColumnsAndRows) {
    struct Case {
        const char* layout;
        std::vector<std::vector<uint32_t>> values;
        Bytes expected;
    };
    const Case cases[] = {
        // Twelve bits in two bytes: row 2 column 2 is bit 7 of the second byte.
        {"1,1,1,0", {{1, 0, 1}, {1, 1, 0}, {0, 1, 1}, {1, 0, 0}}, {0xB9, 0xC0}},
        // A bit, a realigned 16-bit value, a bit in a fresh byte that the next row continues.
        {"1,2,1,0", {{1, 0x1234, 1}, {1, 0xABCD, 1}}, {0x80, 0x12, 0x34, 0xC0, 0xAB, 0xCD, 0x80}},
        // 32-bit values go as two network-order words; any non-zero byte value is bit 1.
        {"1,2,3,0", {{7, 0x1234, 0x12345678}}, {0x80, 0x12, 0x34, 0x12, 0x34, 0x56, 0x78}},
        // A time stamp type outside column 1 is four uninterpreted bytes.
        {"2,1,4,0", {{1, 0, 0xA1B2C3D4}}, {0x00, 0x01, 0x00, 0xA1, 0xB2, 0xC3, 0xD4}},
    };
    for (const Case& c : cases) {
        const RtuTable table = TableOf(c.layout, static_cast<int>(c.values.size()), c.values);
        EXPECT_EQ(PollRows(table), c.expected) << c.layout;
    }
}

TEST(GwsimEncoding, TimeStampedRowsCarryColumnZeroAndItsStamp) {
    const TimeStamp stamp{2004, 11, 7, 14, 30, 45, 500};
    struct Case {
        const char* layout;
        Bytes expected_poll;
    };
    const Case cases[] = {
        {"2,4,1,0", {0x01, 0x02, 0x07, 0x0B, 0x04, 0x0E, 0x1E, 0x2D, 0x01, 0xF4}},
        {"1,4,1,0", {0x80, 0x07, 0x0B, 0x04, 0x0E, 0x1E, 0x2D, 0x01, 0xF4}},
        // Month 11, year 04; minute 30, hour 14, day 7; 500 ms, second 45.
        {"2,5,1,1,0", {0x01, 0x02, 0x00, 0x4B, 0x3B, 0x9E, 0xB5, 0xF4}},
    };
    for (const Case& c : cases) {
        TableModel model;
        model.DefineTableType(1, ParseTableType(c.layout));
        model.DefineTable(1, 5, 1, 1);
        model.SetValue(1, 5, 0, 0, c.layout[0] == '1' ? 1 : 0x0102);
        model.SetTimeStamp(1, 5, 0, stamp);
        EXPECT_EQ(PollRows(model.GetTable(1, 5)), c.expected_poll) << c.layout;
    }
}

TEST(GwsimEncoding, ShortTimeStampMatchesTheWordLayout) {
    Bytes out;
    DataWriter writer(out);
    WriteTimeStamp(writer, krogw::kElementShortTimeStamp, {1975, 11, 7, 14, 30, 31, 300});
    EXPECT_EQ(out, (Bytes{0x04, 0xBB, 0x3B, 0x9E, 0x7D, 0x2C}));
}

TEST(GwsimEncoding, BurstRowsCarryBitsAsBytesAfterTableAndRow) {
    const RtuTable table = TableOf("1,2,3,0", 2, {{0, 0, 0}, {0x41, 0x1234, 0x12345678}});
    Bytes out;
    DataWriter writer(out);
    WriteBurstRow(writer, 5, table, 1);
    EXPECT_EQ(out, (Bytes{5, 1, 0x41, 0x12, 0x34, 0x12, 0x34, 0x56, 0x78}));
}

TEST(GwsimEncoding, TableTypesFollowTheConfigurationRules) {
    EXPECT_EQ(ParseTableType("1,2,3,0").columns, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(ParseTableType("1,4,1,0").TimeStamped());
    EXPECT_TRUE(ParseTableType("0").columns.empty());
    for (const char* bad :
         {"1,2,3", "1,7,0", "1,4,0", "1,5,1,0", "1,1,1,1,1,1,1,1,1,0", "1,0,2", "12,0", ""}) {
        EXPECT_THROW(ParseTableType(bad), std::invalid_argument) << bad;
    }
}

}  // namespace
}  // namespace gwsim
