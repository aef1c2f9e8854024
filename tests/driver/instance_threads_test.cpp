// Start-up's threads: a start that fails half-way leaves nothing running on the context.
#include "driver/instance_threads.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "host/qivpro.h"
#include "include/krogw/abi.h"
#include "tests/support/wait_for.h"
#include "tools/hostsim/hostsim.h"

namespace krogw {
namespace {

using namespace std::chrono_literals;
using test::WaitFor;

int starts = 0;

bool StartOnlyTheFirst(PlatformThreadBody body, void* arg, size_t stack_bytes) {
    return ++starts == 1 && PlatformThreadStart(body, arg, stack_bytes);
}

TEST(InstanceThreadsTest, ACommandThreadThatCannotStartStopsTheBurstThreadFirst) {
    hostsim::Reset();
    auto context = std::make_unique<DriverContext>();
    ResetContext(1, *context);
    ASSERT_EQ(QivMkClient("GateWay_No_01", 1, 0, &context->client), 0);
    const uint8_t client = context->client;

    EXPECT_EQ(StartInstanceThreads(*context, StartOnlyTheFirst), kResultFailed);
    if (InstanceThreadsRunning(*context)) {
        ADD_FAILURE() << "the burst thread runs on a context the host may free";
        hostsim::EndClient(client);
        ASSERT_TRUE(WaitFor([&] { return !InstanceThreadsRunning(*context); }, 15s));
    }
    context.reset();
    EXPECT_TRUE(WaitFor([&] { return !hostsim::ClientExists(client); }, 1s));
    // Longer than the pause the burst thread makes after it lets the client go.
    std::this_thread::sleep_for(3500ms);
}

}  // namespace
}  // namespace krogw
