// The entry point as the host sees it: every function code, the driver information
// reply and the reply time-out request.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "context/context.h"
#include "host/qivpro.h"
#include "include/krogw/abi.h"
#include "tools/hostsim/hostsim.h"

namespace krogw {
namespace {

using namespace std::chrono_literals;

class DispatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        context_ = std::make_unique<DriverContext>();
        ResetContext(1, *context_);
        context_->sync_reply_timeout = 4321;
    }

    int32_t Call(int32_t code, void* arguments) {
        HostRequest request{context_.get(), code, 1, 0, arguments};
        return KroMain(&request);
    }

    std::unique_ptr<DriverContext> context_;
};

// A block that no handler should touch, and a copy to compare it with.
struct Canary {
    std::array<uint8_t, 64> bytes;
    Canary() { bytes.fill(0xA5); }
};

TEST_F(DispatchTest, CodesWithoutHandlerAnswerOneAndTouchNothing) {
    const std::vector<int32_t> codes = {8, 9, 16, 0, -1, 17, 100, INT_MAX, INT_MIN};
    for (int32_t code : codes) {
        Canary block;
        EXPECT_EQ(Call(code, block.bytes.data()), kResultNotDone) << "code " << code;
        EXPECT_EQ(block.bytes, Canary().bytes) << "code " << code;
    }
    EXPECT_EQ(context_->sync_reply_timeout, 4321);
}

// Host memory that no start has reset: every request but the driver information, the
// reply time-out and the unsupported codes answers 1 at once, whatever its locks and
// sockets seem to hold.
TEST_F(DispatchTest, ANeverStartedContextIsAnsweredAtOnce) {
    for (const int fill : {0x6B, 0xFF}) {
        std::memset(static_cast<void*>(context_.get()), fill, sizeof *context_);
        for (int32_t code = 2; code <= kHandlerSlots; ++code) {
            uint8_t value[4] = {};
            AddressCheckArguments check{"!1", 1, 0, 1, {}};
            GateIoArguments io{{}, {PrimaryGatewayUnit, GatewayStatus, 0, 255, 32}, 0, 1, 1, value};
            DriverInfo info{};
            void* arguments = code == kParseGateAddress || code == kCheckArrayAddress
                                  ? static_cast<void*>(&check)
                                  : (code == kGetDriverInfo ? static_cast<void*>(&info) : &io);
            auto answer = std::async(std::launch::async, [&] { return Call(code, arguments); });
            if (answer.wait_for(5s) != std::future_status::ready) {
                std::fprintf(stderr, "code %d on a never started context did not answer\n", code);
                std::_Exit(1);
            }
            const int32_t expected =
                code == kGetDriverInfo || code == kSetReplyTimeout ? kResultDone
                : code == kUnsupported12 || code == kUnsupported13 ? kResultFailed
                                                                   : kResultNotDone;
            EXPECT_EQ(answer.get(), expected) << "code " << code << ", fill " << fill;
        }
    }
    HostRequest without_context{nullptr, kStartInstance, 1, 0, nullptr};
    EXPECT_EQ(KroMain(&without_context), kResultNotDone);
}

TEST_F(DispatchTest, NullRequestIsRefused) {
    EXPECT_EQ(KroMain(nullptr), kResultNotDone);
}

TEST_F(DispatchTest, UnsupportedCodesAnswerTwoAndTouchNothing) {
    for (int32_t code : {12, 13}) {
        Canary block;
        EXPECT_EQ(Call(code, block.bytes.data()), kResultFailed) << "code " << code;
        EXPECT_EQ(block.bytes, Canary().bytes);
    }
    EXPECT_EQ(context_->sync_reply_timeout, 4321);
}

TEST_F(DispatchTest, ReplyTimeoutZeroOrNegativeKeepsOthersScaleWithoutFloor) {
    struct Case {
        int32_t units;
        int32_t expected_ms;
    };
    const Case cases[] = {
        {0, 4321},           // 0 leaves the current value
        {1, 10},             // no 3000 ms floor here
        {299, 2990},         //
        {301, 3010},         //
        {INT_MAX, INT_MAX},  // saturates instead of wrapping negative
        {-1, 4321},          // negative: kept, and logged
        {INT_MIN, 4321},
    };
    for (const Case& c : cases) {
        hostsim::ClearLog();
        context_->sync_reply_timeout = 4321;
        ReplyTimeoutArguments arguments{{0, 0, 0}, c.units};
        EXPECT_EQ(Call(kSetReplyTimeout, &arguments), kResultDone);
        EXPECT_EQ(context_->sync_reply_timeout, c.expected_ms) << "units " << c.units;
        const auto log = hostsim::LogLines();
        if (c.units < 0) {
            ASSERT_EQ(log.size(), 1u) << c.units;
            EXPECT_EQ(log[0].level, kLogError);
            EXPECT_EQ(log[0].text, "KroGW : Illegal reply time out " + std::to_string(c.units) +
                                       ", kept 4321 ms");
        } else {
            EXPECT_TRUE(log.empty()) << c.units;
        }
    }
}

// Driver information works before any start request, without a context.
TEST(DriverInfoTest, FillsConstantsAndLeavesHostBytesAlone) {
    DriverInfo info;
    std::memset(&info, 0x5A, sizeof info);
    HostRequest request{nullptr, kGetDriverInfo, 7, 0, &info};
    ASSERT_EQ(KroMain(&request), kResultDone);
    EXPECT_EQ(info.driver_code, 82);
    EXPECT_STREQ(info.short_name, "Zazuvodi DuvoRid");
    EXPECT_EQ(info.context_size, 2317056);
    EXPECT_EQ(info.info_flag, 1);
    EXPECT_EQ(info.info_mode, 2);
    for (uint8_t byte : info.host_owned) {
        EXPECT_EQ(byte, 0x5A);
    }
}

std::vector<std::string> BannerLines(const char* banner) {
    std::vector<std::string> lines;
    std::string text(banner);
    size_t start = 1;  // after the leading line feed
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

std::string Repeat(char c, size_t n) {
    return std::string(n, c);
}

TEST(DriverInfoTest, BannerIsTheCodePage437Frame) {
    DriverInfo info{};
    HostRequest request{nullptr, kGetDriverInfo, 1, 0, &info};
    ASSERT_EQ(KroMain(&request), kResultDone);
    ASSERT_EQ(std::strlen(info.banner), 379u);
    ASSERT_EQ(info.banner[0], '\n');
    ASSERT_EQ(info.banner[378], '\n');

    const auto lines = BannerLines(info.banner);
    ASSERT_EQ(lines.size(), 6u);
    for (const auto& line : lines) {
        EXPECT_EQ(line.size(), 62u);
        EXPECT_EQ(line[0], ' ');
    }
    EXPECT_EQ(lines[0], " \xC9" + Repeat('\xCD', 59) + "\xBB");
    EXPECT_EQ(lines[1], " \xBA " + Repeat('\xDB', 5) + Repeat('\xB2', 6) + Repeat('\xB1', 6) +
                            Repeat('\xB0', 6) + " K R O G W " + Repeat('\xB0', 6) +
                            Repeat('\xB1', 6) + Repeat('\xB2', 6) + Repeat('\xDB', 5) + " \xBA");
    EXPECT_EQ(lines[2], " \xBA" + Repeat(' ', 12) + "Zazuvodi DuvoRid, Driver installed." +
                            Repeat(' ', 12) + "\xBA");
    EXPECT_EQ(lines[3], " \xBA" + Repeat(' ', 13) + "RTU NETWORK GateWay for TCP/IP" +
                            Repeat(' ', 16) + "\xBA");
    EXPECT_EQ(lines[4].substr(0, 2), " \xBA");
    EXPECT_EQ(lines[4].back(), '\xBA');
    EXPECT_EQ(lines[5], " \xC8" + Repeat('\xCD', 59) + "\xBC");
}

TEST(DriverInfoTest, TextsStayValidAcrossCalls) {
    DriverInfo first{};
    DriverInfo second{};
    HostRequest a{nullptr, kGetDriverInfo, 1, 0, &first};
    HostRequest b{nullptr, kGetDriverInfo, 2, 0, &second};
    ASSERT_EQ(KroMain(&a), kResultDone);
    ASSERT_EQ(KroMain(&b), kResultDone);
    EXPECT_EQ(first.banner, second.banner);
    EXPECT_EQ(first.short_name, second.short_name);
}

}  // namespace
}  // namespace krogw
