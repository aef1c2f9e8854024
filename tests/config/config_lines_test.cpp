// Splitting a configuration into retained lines, and the keys that a line may hold.
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "config_fixture.h"

namespace krogw {
namespace {

struct LinesCase {
    std::string input;
    std::vector<std::string> lines;
};

std::vector<std::string> LinesOf(const std::string& input) {
    ConfigText text{input.data(), input.size(), 0};
    ConfigLine line;
    std::vector<std::string> lines;
    while (ReadConfigLine(text, line)) {
        lines.emplace_back(line.overlong ? "<overlong>" + std::string(line.text) : line.text);
    }
    return lines;
}

TEST(ConfigLineTest, KeepsOnlyRetainedCharactersAndTheTenCharacterLastLine) {
    const std::string long_line(136, 'A');
    const std::vector<LinesCase> cases = {
        {"PRIMARY = 10.1.1.5\r\n", {"PRIMARY=10.1.1.5"}},
        {std::string("a\tb\x01") + "c\x80\xFF" + "d\x7F \n", {"abcd\x7F"}},
        {std::string("x\0y\n", 4), {"xy"}},
        {"\n\nX\n", {"", "", "X"}},
        {"PARSE=NO", {}},  // 8 characters, no line feed: not read
        {"PARSE=NO\n", {"PARSE=NO"}},
        {"012345678", {}},
        {"0123456789", {"0123456789"}},
        {" 1 2 = 1 , 2 , 0 \r", {}},  // blanks do not count towards the ten
        {"3=2,0\n12=1", {"3=2,0"}},
        {std::string(135, 'B') + "\n", {std::string(135, 'B')}},
        {long_line + "\n3=2,0\n", {"<overlong>" + std::string(135, 'A'), "3=2,0"}},
        {long_line, {"<overlong>" + std::string(135, 'A')}},
    };
    for (const LinesCase& c : cases) {
        EXPECT_EQ(LinesOf(c.input), c.lines) << "input: " << c.input;
    }
}

TEST(ConfigLineTest, FileAndTextGiveTheSameLines) {
    const std::string input = "PRIMARY = 10.1.1.5\r\n\t3=2,0\nPOLL_RESULT=OFF";
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::fwrite(input.data(), 1, input.size(), file);
    std::rewind(file);
    std::vector<std::string> from_file;
    ConfigLine line;
    while (ReadConfigLine(file, line)) {
        from_file.emplace_back(line.text);
    }
    std::fclose(file);
    EXPECT_EQ(from_file, LinesOf(input));
    EXPECT_EQ(from_file.size(), 3u);
}

using ConfigKeyTest = ConfigFixture;

TEST_F(ConfigKeyTest, OverlongLineIsRefusedAndReadingGoesOn) {
    const std::string text = "PRIMARY=10.1.1.5\n" + std::string(130, 'x') + "PARSE=NO\n3=2,0\n";
    EXPECT_TRUE(Read(text));
    EXPECT_EQ(context_->parse_flag, 1) << "nothing of the refused line takes effect";
    EXPECT_EQ(seen_.refused_lines, 1);
    const auto messages = test::Logged(32);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[1].rfind("kroGW : Line of more than 135 characters refused: xxx", 0), 0u);
}

struct KeyCase {
    const char* text;
    std::vector<std::string> messages;
    std::function<void(const DriverContext&)> expect;
};

void ExpectDefaults(const DriverContext& c) {
    EXPECT_EQ(c.poll_buffer_length, 10);
    EXPECT_EQ(c.cmd_buffer_length, 10);
    EXPECT_EQ(c.cmd_response_time, 10000);
    EXPECT_EQ(c.keepalive_idle_s, 10);
    EXPECT_EQ(c.sign_rtu_on_fail, 1);
    EXPECT_EQ(c.parse_flag, 1);
    EXPECT_EQ(c.poll_result_on_write, 1);
    EXPECT_EQ(c.secondary_configured, 0);
    EXPECT_EQ(c.gateway_ok, 0);
    EXPECT_STREQ(c.primary_address, "unset");
    EXPECT_STREQ(c.secondary_address, "unset");
    EXPECT_EQ(c.rtu_state[1], RtuNotConfirmed);
}

TEST_F(ConfigKeyTest, EachKeyStoresItsValueOrRefusesIt) {
    const auto primary = [](const char* address) {
        return [address](const DriverContext& c) { EXPECT_STREQ(c.primary_address, address); };
    };
    const auto poll_length = [](int32_t value) {
        return [value](const DriverContext& c) { EXPECT_EQ(c.poll_buffer_length, value); };
    };
    const auto cmd_length = [](int32_t value) {
        return [value](const DriverContext& c) { EXPECT_EQ(c.cmd_buffer_length, value); };
    };
    const auto cmd_time = [](int32_t value) {
        return [value](const DriverContext& c) { EXPECT_EQ(c.cmd_response_time, value); };
    };
    const std::string illegal_poll = "KroGW : Illegal length for Polling Buffer (10..99)";
    const std::string illegal_cmd = "KroGW : Illegal len for command Buffer (10..99)";
    const std::string illegal_time = "KroGW : Illegal value for command time out(50..30000)";
    const auto keepalive = [](int32_t value) {
        return [value](const DriverContext& c) { EXPECT_EQ(c.keepalive_idle_s, value); };
    };
    const std::string illegal_keepalive = "KroGW : Illegal keepalive time (0..3600 s)";
    const std::string bad_address =
        "kroGW : GateWay address must have 1..15 characters, line refused: ";
    const std::string not_decimal = "kroGW : GateWay address is not dotted decimal, line refused: ";

    const std::vector<KeyCase> cases = {
        {"PRIMARY=10.1.1.5", {"kroGW : Primary GateWay address 10.1.1.5"}, primary("10.1.1.5")},
        {";PRIMARY=10.1.1.5", {"kroGW : Primary GateWay address 10.1.1.5"}, primary("10.1.1.5")},
        {"PRIMARY:255.255.255.255",
         {"kroGW : Primary GateWay address 255.255.255.255"},
         primary("255.255.255.255")},
        {"PRIMARY=255.255.255.2550", {bad_address + "PRIMARY=255.255.255.2550"}, ExpectDefaults},
        {"PRIMARY=", {bad_address + "PRIMARY="}, ExpectDefaults},
        {"XXPRIMARY", {bad_address + "XXPRIMARY"}, ExpectDefaults},
        {"SECONDARY=10.1.1.6",
         {"kroGW : Secondary GateWay address 10.1.1.6"},
         [](const DriverContext& c) {
             EXPECT_STREQ(c.secondary_address, "10.1.1.6");
             EXPECT_EQ(c.secondary_configured, 1);
             EXPECT_EQ(c.gateway_ok, 3);
         }},
        {"SECONDARY=1234567890123456",
         {bad_address + "SECONDARY=1234567890123456"},
         ExpectDefaults},
        // Read as 192.168.1.8 by one C library and refused by another.
        {"PRIMARY=192.168.001.010", {not_decimal + "PRIMARY=192.168.001.010"}, ExpectDefaults},
        {"SECONDARY=10.1", {not_decimal + "SECONDARY=10.1"}, ExpectDefaults},
        {"SECONDARY=256.1.1.1", {not_decimal + "SECONDARY=256.1.1.1"}, ExpectDefaults},
        {"PRIMARY=1.2.3.4.5", {not_decimal + "PRIMARY=1.2.3.4.5"}, ExpectDefaults},
        {"SIGN_RTU=NO",
         {"kroGW : Sign RTU ON FAIL = NO"},
         [](const DriverContext& c) { EXPECT_EQ(c.sign_rtu_on_fail, 0); }},
        {"SIGN_RTU=YES", {}, ExpectDefaults},
        {"POLL_BUFFER_LENGTH=10", {"KroGW : Polling buffer length is 10"}, poll_length(10)},
        {"POLL_BUFFER_LENGTH=+99", {"KroGW : Polling buffer length is 99"}, poll_length(99)},
        {"POLL_BUFFER_LENGTH=9", {illegal_poll}, ExpectDefaults},
        {"POLL_BUFFER_LENGTH=100", {illegal_poll}, ExpectDefaults},
        {"POLL_BUFFER_LENGTH", {illegal_poll}, ExpectDefaults},
        {"POLL_BUFFER_LENGTH=x20", {illegal_poll}, ExpectDefaults},
        {"POLL_BUFFER_LENGTH=4294967306", {illegal_poll}, ExpectDefaults},  // 2^32 + 10
        {"X=20,POLL_BUFFER_LENGTH:30=40", {"KroGW : Polling buffer length is 40"}, poll_length(40)},
        {"CMD_BUFFER_LENGTH=99", {"KroGW : Command buffer length is 99"}, cmd_length(99)},
        {"CMD_BUFFER_LENGTH=-10", {illegal_cmd}, ExpectDefaults},
        {"CMD_RESPONSE_TIME=50", {"KroGW : Command Timeout is 50"}, cmd_time(50)},
        {"CMD_RESPONSE_TIME=30000", {"KroGW : Command Timeout is 30000"}, cmd_time(30000)},
        {"CMD_RESPONSE_TIME=49", {illegal_time}, ExpectDefaults},
        {"CMD_RESPONSE_TIME=30001", {illegal_time}, ExpectDefaults},
        {"KEEPALIVE=0", {"KroGW : Keepalive after 0 s idle"}, keepalive(0)},
        {"KEEPALIVE=3600", {"KroGW : Keepalive after 3600 s idle"}, keepalive(3600)},
        {"KEEPALIVE=3601", {illegal_keepalive}, ExpectDefaults},
        {"KEEPALIVE=", {illegal_keepalive}, ExpectDefaults},
        {"KEEPALIVE", {illegal_keepalive}, ExpectDefaults},
        {"PARSE=NO",
         {"kroGW : Set Parse flag to NO"},
         [](const DriverContext& c) { EXPECT_EQ(c.parse_flag, 0); }},
        {"PARSE=YES", {}, ExpectDefaults},
        {"POLL_RESULT=OFF",
         {"kroGW : Set Poll result on Write to OFF"},
         [](const DriverContext& c) { EXPECT_EQ(c.poll_result_on_write, 0); }},
        {"POLL_RESULT=ON", {}, ExpectDefaults},
        {"RTU_INITIAL_STATE=ON",
         {"kroGW : Set Default State of RTU's to active"},
         [](const DriverContext& c) {
             for (int rtu = 0; rtu < kRtuEntries; ++rtu) {
                 ASSERT_EQ(c.rtu_state[rtu], RtuActive) << rtu;
             }
         }},
        {"RTU_INITIAL_STATE=OFF", {}, ExpectDefaults},
        // The first key of the search order decides; the others are not looked at.
        {"PARSE=NO,PRIMARY=1.2.3.4",
         {"kroGW : Primary GateWay address 1.2.3.4"},
         [](const DriverContext& c) {
             EXPECT_STREQ(c.primary_address, "1.2.3.4");
             EXPECT_EQ(c.parse_flag, 1);
         }},
        {"POLL_BUFFER_LENGTH=20SIGN_RTU=NO",
         {"kroGW : Sign RTU ON FAIL = NO"},
         [](const DriverContext& c) {
             EXPECT_EQ(c.sign_rtu_on_fail, 0);
             EXPECT_EQ(c.poll_buffer_length, 10);
         }},
        {"PARSE=NO;CMD_RESPONSE_TIME=500",
         {"KroGW : Command Timeout is 500"},
         [](const DriverContext& c) {
             EXPECT_EQ(c.cmd_response_time, 500);
             EXPECT_EQ(c.parse_flag, 1);
         }},
        // Neither a key nor a number: not a configuration line.
        {"#comment=1,0", {}, ExpectDefaults},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.text);
        SetUp();
        std::strcpy(context_->primary_address, "unset");
        std::strcpy(context_->secondary_address, "unset");
        Read(std::string(c.text) + "\n");
        EXPECT_EQ(test::Logged(32), c.messages);
        c.expect(*context_);
    }
}

TEST_F(ConfigKeyTest, LastOccurrenceOfAKeyWins) {
    Read("POLL_BUFFER_LENGTH=20\nPRIMARY=10.0.0.1\nPOLL_BUFFER_LENGTH=30\nPRIMARY=10.0.0.2\n");
    EXPECT_EQ(context_->poll_buffer_length, 30);
    EXPECT_STREQ(context_->primary_address, "10.0.0.2");
}

}  // namespace
}  // namespace krogw
