// The meaning why tells for a result code is the troubleshooting guide's.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

#include "tools/check/gate_diagnosis.h"

namespace {

TEST(ResultCodeTest, MeaningsAreTheGuidesRows) {
    std::ifstream guide(KROGW_TROUBLESHOOTING_PAGE);
    ASSERT_TRUE(guide) << KROGW_TROUBLESHOOTING_PAGE;
    const std::regex row(R"(^\| (\d+|any other) \| (.*?) \| .* \|$)");
    int rows = 0;
    for (std::string line; std::getline(guide, line);) {
        std::smatch match;
        if (!std::regex_match(line, match, row)) {
            continue;
        }
        ++rows;
        const int32_t code = match[1] == "any other" ? 7 : std::stoi(match[1]);
        EXPECT_EQ(krogw_check::ResultCodeMeaning(code), match[2].str()) << match[1];
    }
    EXPECT_EQ(rows, 4) << "0, 59, 129 and any other";
}

}  // namespace
