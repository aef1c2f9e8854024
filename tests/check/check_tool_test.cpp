// krogw-check on the shipped samples and on a configuration with mistakes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "check_run.h"

namespace {

namespace fs = std::filesystem;

// The output line of this accepted address, or "".
std::string LineFor(const std::string& output, const std::string& address) {
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string decision;
        std::string shown;
        words >> decision >> shown;
        if (decision == "accepted" && shown == address) {
            return line;
        }
    }
    return "";
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CheckToolTest, SamplesAreAcceptedWithEveryAddressDecoded) {
    const std::string samples = KROGW_CHECK_SAMPLES;
    const CheckRun run = RunCheck(samples + "/kroGW01.int " + samples + "/addresses.txt");
    EXPECT_EQ(run.status, 0) << run.output;

    std::ifstream list(samples + "/addresses.txt");
    std::string raw;
    int addresses = 0;
    while (std::getline(list, raw)) {
        std::istringstream words(raw);
        std::string address;
        if (!(words >> address) || address[0] == '#') {
            continue;
        }
        ++addresses;
        int elements = 0;
        if (words >> elements) {
            address.append("[").append(std::to_string(elements)).append("]");
        }
        EXPECT_EQ(LineFor(run.output, address).rfind("  accepted", 0), 0u) << address;
    }
    EXPECT_TRUE(Contains(run.output, "addresses checked: " + std::to_string(addresses) +
                                         ", accepted: " + std::to_string(addresses) +
                                         ", rejected: 0"));

    EXPECT_TRUE(Contains(run.output, "1: kroGW : Primary GateWay address 127.0.0.1"));
    EXPECT_TRUE(Contains(run.output, "\nno findings\n"));
    EXPECT_TRUE(
        Contains(run.output, "table type  3: 3 columns: 8-bit time-stamp 16-bit (time-stamped)"));
    const std::string element = LineFor(run.output, "00003003030010");
    EXPECT_TRUE(Contains(element, "TableElement"));
    EXPECT_TRUE(Contains(element, "subaddress=0x00003001"));
    EXPECT_TRUE(Contains(element, "bit_width=8"));
    EXPECT_TRUE(Contains(element, "(RTU 3, table 3, column 0, row 1, table type 3)"));
    const std::string poll = LineFor(run.output, "C000020100200005");
    EXPECT_TRUE(Contains(poll, "PollNumberedRows"));
    EXPECT_TRUE(Contains(poll, "(RTU 2, table 10, table type 2, first row 0, rows 5)"));
    EXPECT_TRUE(Contains(LineFor(run.output, "S00001C0[5]"), "(RTU 1, channel 0)"));
}

class CheckToolMistakesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        directory_ = fs::temp_directory_path() /
                     ("krogw-check-" + std::to_string(::getpid()) + "-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(directory_);
    }
    void TearDown() override { fs::remove_all(directory_); }

    std::string Write(const std::string& name, const std::string& text) {
        const fs::path path = directory_ / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    fs::path directory_;
};

TEST_F(CheckToolMistakesTest, RefusedLinesAndRejectedAddressesAreErrorsWithTheirReason) {
    const std::string config =
        Write("kroGW01.int", "PRIMARY=10.1.1.5\nPOLL_BUFFER_LENGTH=100\n12=1,2,3\n3=2,0\n");
    const std::string addresses =
        Write("addresses.txt",
              "00001003030000\n00001003030000\n00001003030000 4\n!2\n\n00001003070000\n");
    const CheckRun run = RunCheck(config + " " + addresses);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.output, config + ":2: error: KroGW : Illegal length for Polling "
                                              "Buffer (10..99)\n"));
    EXPECT_TRUE(Contains(run.output, config + ":3: error: kroGW : Table type list does not end"));
    EXPECT_TRUE(Contains(run.output, "an instance can start with it"));
    EXPECT_TRUE(Contains(run.output, addresses +
                                         ":2: error: address 00001003030000 rejected: KroGW : Can "
                                         "not define address 00001003030000 twice !!!\n"));
    EXPECT_TRUE(Contains(LineFor(run.output, "00001003030000[4]"), "accepted"))
        << "an array check lets the duplicate through";
    EXPECT_TRUE(Contains(run.output, addresses +
                                         ":4: error: address !2 rejected: no SECONDARY gateway is "
                                         "configured\n"));
    EXPECT_TRUE(Contains(run.output, addresses + ":6: error: address 00001003070000 rejected: "
                                                 "table type 7 is not in the configuration\n"));
    EXPECT_TRUE(Contains(run.output, "addresses checked: 5, accepted: 2, rejected: 3"));
}

// Each rejection names the part that really failed, an array's count included, and a
// list line is read as the whole address text unless a tab (or, after a whole array
// form, a blank) gives a count.
TEST_F(CheckToolMistakesTest, RejectionReasonsNameWhatFailed) {
    const std::string config = Write("kroGW01.int", "PRIMARY=10.1.1.5\n1=1,2,3,0\n");
    struct Case {
        const char* line;
        const char* finding;
    };
    const Case cases[] = {
        {"S00001C0\t6",
         "address S00001C0[6] rejected: a channel status array has exactly 5 elements, not 6"},
        {"!1\t3", "address !1[3] rejected: only table elements and channel status are arrays"},
        {"SETCALL.EXE\t2",
         "address SETCALL.EXE[2] rejected: only table elements and channel status are arrays"},
        {"00001001010000\t0",
         "address 00001001010000[0] rejected: an array of table values has 1..250 elements, "
         "not 0"},
        {"00001001010000 251",
         "address 00001001010000[251] rejected: an array of table values has 1..250 elements, "
         "not 251"},
        {"S00001 3", "address 'S00001 3' rejected: no C before the channel digit"},
        {"00001 005010001",
         "address '00001 005010001' rejected: matches none of the address forms"},
        {"00001001010000   ",
         "address '00001001010000   ' rejected: longer than the 16 positions of an address"},
        {"P000010010125010", "address P000010010125010 rejected: first row 250 is above 249"},
        {"00001001010008", "address 00001001010008 rejected: column 8 is above 7"},
        {"00001001010000\tten", "element count after the tab is not a whole number"},
    };
    std::string list;
    for (const Case& c : cases) {
        list += std::string(c.line) + "\n";
    }
    list += "!00001 5\n";  // one text: an RTU state gate, positions 6 and 7 unread
    const std::string addresses = Write("addresses.txt", list);
    const CheckRun run = RunCheck(config + " " + addresses);
    int line = 0;
    for (const Case& c : cases) {
        const std::string expected =
            addresses + ":" + std::to_string(++line) + ": error: " + c.finding + "\n";
        EXPECT_TRUE(Contains(run.output, expected)) << expected << run.output;
    }
    EXPECT_TRUE(Contains(run.output, "accepted '!00001 5'")) << run.output;
    EXPECT_TRUE(Contains(run.output, "addresses checked: 11, accepted: 1, rejected: 10"));
}

// Lines the driver ignores or reads otherwise than they seem to say: one warning each,
// on its line, and the driver's reading unchanged.
TEST_F(CheckToolMistakesTest, SilentlyIgnoredOrMisreadLinesAreWarnings) {
    const std::string config = Write("kroGW01.int",
                                     "PRIMARY=10.1.1.5\n"
                                     "primary=10.1.1.6\n"
                                     "CMD_RESPONCE_TIME=300\n"
                                     "hello world\n"
                                     "100=2,2,0\n"
                                     "3=1,4,2,0xyz\n"
                                     "PRIMARY=10.1.1.7\n"
                                     "4=2,0");
    const std::string addresses =
        Write("addresses.txt", "00001003030010\n00001003030012\n00001010100001\n");
    const CheckRun run = RunCheck(config + " " + addresses);
    EXPECT_EQ(run.status, 1);
    const std::string expected[] = {
        ":2: warning: key 'primary' is not read: keys are upper case (PRIMARY)\n",
        ":3: warning: unknown key 'CMD_RESPONCE_TIME' is not read; did you mean "
        "CMD_RESPONSE_TIME?\n",
        ":4: warning: line is neither a key nor a table type: not read\n",
        ":5: warning: table type number 100 has more than two digits: read as table type 10\n",
        ":6: warning: text 'xyz' after the closing 0 is not read\n",
        ":7: warning: PRIMARY is given twice (first on line 1)\n",
        ":8: warning: last line has no line feed and fewer than 10 characters: not read\n",
    };
    for (const std::string& line : expected) {
        EXPECT_TRUE(Contains(run.output, config + line)) << line << run.output;
    }
    EXPECT_TRUE(Contains(run.output, addresses + ":2: warning: gate 00001003030012: column 2 of "
                                                 "time-stamped table type 3 never receives a "
                                                 "value"));
    EXPECT_TRUE(Contains(LineFor(run.output, "00001010100001"), "table type 10"))
        << "the three-digit type is table type 10";
    EXPECT_FALSE(Contains(run.output, addresses + ":1:")) << "column 0 carries the value";
    EXPECT_TRUE(Contains(run.output, "\n8 findings\n"));
}

TEST_F(CheckToolMistakesTest, ExitStatusTellsCleanFindingsAndUsageApart) {
    EXPECT_EQ(RunCheck(Write("kroGW01.int", "PRIMARY=10.1.1.5\n1=2,0\n")).status, 0);
    const CheckRun no_table = RunCheck(Write("kroGW01.int", "PRIMARY=10.1.1.5\n"));
    EXPECT_EQ(no_table.status, 1);
    EXPECT_TRUE(Contains(no_table.output, "an instance CANNOT start with it"));
    EXPECT_TRUE(Contains(no_table.output, ":1: error: no accepted table type line"));
    EXPECT_EQ(RunCheck((directory_ / "missing.int").string()).status, 2);
    EXPECT_EQ(RunCheck("").status, 2);
    EXPECT_EQ(RunCheck("a b c").status, 2);
    EXPECT_EQ(RunCheck("--bogus x").status, 2);
    const CheckRun help = RunCheck("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(Contains(help.output, "FILE:LINE: error|warning: message"));
    EXPECT_TRUE(Contains(RunCheck("--version").output, "krogw-check 8."));
}

}  // namespace
