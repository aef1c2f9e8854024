// Table type lines: which lists become layouts, and what every refusal says.
#include <string>
#include <vector>

#include "config/table_layout.h"
#include "config_fixture.h"

namespace krogw {
namespace {

using TableTypeTest = ConfigFixture;

struct TableCase {
    const char* line;
    int table_type;                // where the layout lands when accepted
    std::vector<uint8_t> columns;  // accepted columns, or empty
    std::string message;           // the one line logged, "%s" filled with the line
};

std::string Filled(const std::string& format, const char* line) {
    const size_t at = format.find("%s");
    return at == std::string::npos ? format : format.substr(0, at) + line + format.substr(at + 2);
}

const std::string kAccepted = "kroGW : Get Table Type %s - O.K";
const std::string kIllegalEntry = "kroGW : Get Illegal entry type %s ";
const std::string kIllegalTimeStamp = "kroGW : Get Illegal time stamp Type %s";
const std::string kMoreThanEight = "kroGW : Get Bad Table type(more than 8)-> %s";
const std::string kNoEquals = "kroGW : Illegal table type(=) %s";
const std::string kNoEnd = "kroGW : Table type list does not end with 0, line refused: %s";
const std::string kNegative = "kroGW : Negative table type number, line refused: %s";

TEST_F(TableTypeTest, ListsAreAcceptedOrRefusedWithTheirMessage) {
    const std::vector<TableCase> cases = {
        {"12=1,2,3,0", 12, {1, 2, 3}, kAccepted},
        {"12=1,4,1,0", 12, {1, 4, 1}, kAccepted},
        {"12=1,4,0", 12, {}, kIllegalTimeStamp},
        {"12=1,4,1,1,0", 12, {}, kIllegalTimeStamp},
        {"12=1,5,1,1,0", 12, {1, 5, 1, 1}, kAccepted},
        {"12=1,5,1,0", 12, {}, kIllegalTimeStamp},
        {"12=4,1,2,3,5,0", 12, {4, 1, 2, 3, 5}, kAccepted},  // a 4 first has no rule
        {"12=7,0", 12, {}, kIllegalEntry},
        {"12=1,2,9", 12, {}, kIllegalEntry},
        {"12=1,x,2,0", 12, {1, 2}, kAccepted},
        {"12=1,,2,0", 12, {1, 2}, kAccepted},
        {"12=10,0", 12, {1}, kAccepted},
        {"12=1,1,1,1,1,1,1,1,0", 12, {1, 1, 1, 1, 1, 1, 1, 1}, kAccepted},
        {"12=1,1,1,1,1,1,1,1,1,0", 12, {}, kMoreThanEight},
        {"12=1,1,1,1,1,1,1,1,x,x,0", 12, {1, 1, 1, 1, 1, 1, 1, 1}, kAccepted},
        {"12=0", 12, {}, kAccepted},
        {"10.1.1.5", 10, {}, kNoEquals},
        {"12=1,2,3", 12, {}, kNoEnd},
        {"12=1,2,", 12, {}, kNoEnd},
        {"12=", 12, {}, kNoEnd},
        {"-1=1,0", 0, {}, kNegative},
        {"+5=2,0", 5, {2}, kAccepted},
        {"123=3,0", 12, {3}, kAccepted},  // the number has at most two characters
        {"5x=2,0", 5, {2}, kAccepted},
        {"0=1,0", 0, {1}, kAccepted},
        {"99=3,0", 99, {3}, kAccepted},
    };
    for (const TableCase& c : cases) {
        SCOPED_TRACE(c.line);
        SetUp();
        Read(std::string(c.line) + "\n");
        EXPECT_EQ(test::Logged(32), std::vector<std::string>{Filled(c.message, c.line)});
        const bool accepted = c.message == kAccepted;
        EXPECT_EQ(seen_.table_type, accepted);
        EXPECT_EQ(seen_.refused_lines, accepted ? 0 : 1);
        const TableLayout layout = TableLayoutOf(*context_, c.table_type);
        EXPECT_EQ(layout.column_count, c.columns.size());
        for (size_t column = 0; column < kColumnTypeSlots; ++column) {
            const uint8_t expected = column < c.columns.size() ? c.columns[column] : 0;
            EXPECT_EQ(layout.column_types[column], expected) << "column " << column;
        }
    }
}

TEST_F(TableTypeTest, RefusedLineLeavesTheEarlierLayoutWhole) {
    Read("12=1,2,3,0\n12=1,4,0\n12=2,2,7,0\n12=3,3,3\n");
    const TableLayout layout = TableLayoutOf(*context_, 12);
    EXPECT_EQ(layout.column_count, 3);
    EXPECT_EQ(std::vector<uint8_t>(layout.column_types, layout.column_types + 4),
              (std::vector<uint8_t>{1, 2, 3, 0}));
}

TEST_F(TableTypeTest, RefusedLineNeverDeclaresATableType) {
    Read("12=1,4,0\n");
    EXPECT_EQ(TableLayoutOf(*context_, 12).column_types[0], 0)
        << "an address must not find a column in a refused layout";
}

TEST_F(TableTypeTest, LaterLineReplacesTheWholeLayout) {
    Read("12=1,2,3,3,0\n12=2,0\n");
    const TableLayout layout = TableLayoutOf(*context_, 12);
    EXPECT_EQ(layout.column_count, 1);
    EXPECT_EQ(std::vector<uint8_t>(layout.column_types, layout.column_types + 5),
              (std::vector<uint8_t>{2, 0, 0, 0, 0}));
}

TEST_F(TableTypeTest, EmptyLayoutSatisfiesTheStartCondition) {
    EXPECT_TRUE(Read("PRIMARY=10.1.1.5\n12=0\n"));
    EXPECT_TRUE(seen_.accepted_table_types[12]);
}

}  // namespace
}  // namespace krogw
