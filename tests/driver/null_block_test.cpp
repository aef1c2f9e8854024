// A host that passes no argument block, or no context, gets the failure result of every
// function code, whatever state the instance is in, and the instance goes on.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <memory>
#include <string>

#include "context/context.h"
#include "include/krogw/abi.h"
#include "tests/support/driver_host.h"
#include "tests/support/scratch_directory.h"
#include "tests/support/test_net.h"
#include "tests/support/wait_for.h"
#include "tools/hostsim/hostsim.h"

namespace krogw {
namespace {

using namespace std::chrono_literals;

const int32_t kCodes[] = {INT_MIN, -1, 0,  1,  2,  3,  4,  5,  6,  7,   8,
                          9,       10, 11, 12, 13, 14, 15, 16, 17, 100, INT_MAX};

int32_t WithoutBlock(test::HostInstance& instance, int32_t code) {
    HostRequest request{instance.context, code, instance.driver_number, 0, nullptr};
    return KroMain(&request);
}

int32_t FailureOf(int32_t code) {
    return code == kUnsupported12 || code == kUnsupported13 ? kResultFailed : kResultNotDone;
}

// Every code but close, which reads no block and closes the channels.
void WalkWithoutBlock(test::HostInstance& instance, const char* state) {
    for (const int32_t code : kCodes) {
        if (code != kCloseInstance) {
            EXPECT_EQ(WithoutBlock(instance, code), FailureOf(code))
                << "code " << code << " without a block on a " << state << " instance";
        }
    }
}

TEST(NullBlockTest, EveryCodeAnswersItsFailureWithoutABlock) {
    hostsim::Reset();
    test::ScratchDirectory directory("krogw-null-block");
    // Nothing listens on the primary: the instance starts and runs without a gateway.
    ASSERT_TRUE(test::WriteConfiguration(
        1, std::string("PRIMARY=") + test::TestAddress(3, 1) + "\n1=1,2,3,0\n"));
    auto storage = std::make_unique<DriverContext>();  // zero-filled, as a host allocates it
    test::HostInstance instance{&KroMain, 1, storage.get()};

    WalkWithoutBlock(instance, "fresh");
    EXPECT_EQ(WithoutBlock(instance, kCloseInstance), kResultNotDone) << "close, fresh";

    ASSERT_EQ(test::Start(instance, 0), kResultDone);
    WalkWithoutBlock(instance, "configured");
    EXPECT_EQ(WithoutBlock(instance, kCloseInstance), kResultDone) << "close, configured";

    ASSERT_EQ(test::Start(instance, 1), kResultDone);
    const auto client = test::ClientOf(1);
    ASSERT_TRUE(client.has_value());
    WalkWithoutBlock(instance, "running");
    EXPECT_EQ(test::ReadWord(instance, "!POLL"), 0) << "the instance answers after the walk";
    EXPECT_EQ(WithoutBlock(instance, kCloseInstance), kResultDone) << "close, running";
    hostsim::EndClient(*client);
    ASSERT_TRUE(test::WaitFor([&] { return hostsim::ClientRemovals(*client) >= 2; }, 15s));
}

// Without a context only the codes that need none answer as usual.
TEST(NullBlockTest, EveryCodeAnswersWithoutAContext) {
    uint8_t value[4] = {};
    AddressCheckArguments check{"!1", 1, 0, 1, {}};
    GateIoArguments io{{}, {PrimaryGatewayUnit, GatewayStatus, 0, 255, 32}, 0, 1, 1, value};
    StartArguments start{{}, 1, 100};
    DriverInfo info{};
    for (const int32_t code : kCodes) {
        void* arguments = &io;
        if (code == kParseGateAddress || code == kCheckArrayAddress) {
            arguments = &check;
        } else if (code == kStartInstance || code == kSetReplyTimeout) {
            arguments = &start;  // both read their one field at offset 12 or 16
        } else if (code == kGetDriverInfo) {
            arguments = &info;
        }
        HostRequest request{nullptr, code, 1, 0, arguments};
        const int32_t expected = code == kGetDriverInfo ? kResultDone : FailureOf(code);
        EXPECT_EQ(KroMain(&request), expected) << "code " << code << " without a context";
    }
}

}  // namespace
}  // namespace krogw
