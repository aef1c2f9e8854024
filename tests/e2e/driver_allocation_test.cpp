// The driver allocates nothing once started: an instance loaded as a host loads it
// polls, decodes polled rows and burst reports, writes and switches from the primary
// gateway to the secondary and back, while every allocation of the process is
// charged to the code that asked for it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "context/context.h"
#include "driver/instance_threads.h"
#include "gateway/requests.h"
#include "include/krogw/abi.h"
#include "platform/library.h"
#include "tests/e2e/allocation_counter.h"
#include "tests/support/driver_host.h"
#include "tests/support/scratch_directory.h"
#include "tests/support/test_net.h"
#include "tests/support/wait_for.h"
#include "tools/gwsim/gwsim.h"
#include "tools/hostsim/hostsim.h"

namespace krogw::test {
namespace {

using namespace std::chrono_literals;

constexpr int32_t kDriverNumber = 41;
constexpr uint16_t kRtu = 7;
constexpr uint8_t kTable = 5;
constexpr uint8_t kStampedTable = 6;
const char* const kPrimary = TestAddress(140, 1);
const char* const kSecondary = TestAddress(140, 2);

// A gate has no value until its first poll reply or burst report.
uint64_t UpdatesOf(int32_t gate) {
    const auto value = hostsim::GateValueOf(gate);
    return value ? value->updates : 0;
}

bool RawValueIs(int32_t gate, uint32_t raw) {
    const auto value = hostsim::GateValueOf(gate);
    return value && value->value == raw;
}

// RTU 7's table 5: four rows of two 32-bit values, and table 6: one time-stamped
// value; row 0 of both is reported every 20 ms while the gateway is active.
std::unique_ptr<gwsim::Gateway> ServeTables(const char* address) {
    auto gateway = std::make_unique<gwsim::Gateway>(address);
    gateway->DefineTableType(1, gwsim::ParseTableType("3,3,0"));
    gateway->DefineTableType(2, gwsim::ParseTableType("2,4,1,0"));
    gateway->DefineTable(kRtu, kTable, 1, 4);
    gateway->DefineTable(kRtu, kStampedTable, 2, 1);
    gateway->ScheduleBurst({gwsim::BurstSection::Rows(kRtu, kTable, 0, 1),
                            gwsim::BurstSection::Rows(kRtu, kStampedTable, 0, 1)},
                           20ms);
    gateway->Start();
    return gateway;
}

class DriverAllocationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        hostsim::Reset();
        void* library = PlatformLibraryOpen(KROGW_DRIVER_LIBRARY);
        ASSERT_NE(library, nullptr) << PlatformLibraryError();
        instance_.kro_main =
            reinterpret_cast<KroMainFunction>(PlatformLibrarySymbol(library, "KroMain"));
        ASSERT_NE(instance_.kro_main, nullptr);
    }

    // The host ends the client; the threads must leave before the context goes.
    void TearDown() override {
        allocations::Disarm();
        if (const auto client = ClientOf(kDriverNumber)) {
            hostsim::EndClient(*client);
        }
        EXPECT_TRUE(
            WaitFor([&] { return context_->instance_threads.load() == kThreadsMark; }, 15s));
    }

    HostGate DefineGate(const char* text) {
        const HostGate gate = gates_.Define(instance_, text);
        EXPECT_NE(gate.id, 0) << text;
        return gate;
    }

    int32_t Io(int32_t code, const HostGate& gate, uint8_t* value) {
        return GateIo(instance_, code, gate, value);
    }

    std::unique_ptr<DriverContext> context_ = std::make_unique<DriverContext>();
    HostInstance instance_{nullptr, kDriverNumber, context_.get()};

  private:
    HostGates gates_;
    ScratchDirectory directory_{"krogw-allocation"};
};

TEST_F(DriverAllocationTest, NothingAllocatedAfterStartUp) {
    auto primary = ServeTables(kPrimary);
    auto secondary = ServeTables(kSecondary);
    ASSERT_TRUE(WriteConfiguration(
        kDriverNumber, std::string("PRIMARY=") + kPrimary + "\nSECONDARY=" + kSecondary +
                           "\n1=3,3,0\n2=2,4,1,0\nRTU_INITIAL_STATE=ON\n"));
    ASSERT_EQ(Start(instance_, 1), kResultDone);
    ASSERT_TRUE(allocations::Arm("libkrogw.so", "libqivpro.so"));

    const HostGate reported = DefineGate("00007005010000");
    const HostGate stamped = DefineGate("00007006020000");
    const HostGate clock = DefineGate("T00007");
    const HostGate written = DefineGate("00007005010031");
    const HostGate poll = DefineGate("P000070050100004");
    const HostGate backup = DefineGate("!BACKUP");
    const HostGate primary_status = DefineGate("!1");
    const HostGate secondary_status = DefineGate("!2");
    ASSERT_TRUE(secondary->WaitForChannels(kBurstChannelType, 1, 5s));

    // A second on each gateway: a clock setting and writes, each read back by a poll,
    // while bursts come.
    uint32_t raw = 0;
    for (gwsim::Gateway* active : {primary.get(), secondary.get(), primary.get()}) {
        uint8_t value[4] = {};
        // The status reads mark both gateways usable, which a switch-over needs.
        ASSERT_EQ(Io(kReadGate, primary_status, value), kResultDone);
        ASSERT_EQ(Io(kReadGate, secondary_status, value), kResultDone);
        if (raw != 0) {
            ASSERT_EQ(Io(kWriteGate, backup, value), kResultDone) << "switch-over";
        }
        ASSERT_TRUE(WaitFor([&] { return active->mode() == gwsim::GatewayMode::kActive; }, 5s));
        const uint64_t bursts = UpdatesOf(reported.id);
        const uint64_t stamped_bursts = UpdatesOf(stamped.id);
        ASSERT_EQ(Io(kWriteGate, clock, value), kResultDone);
        const auto phase_end = std::chrono::steady_clock::now() + 1s;
        while (std::chrono::steady_clock::now() < phase_end) {
            ++raw;
            std::memcpy(value, &raw, sizeof value);
            ASSERT_EQ(Io(kWriteGate, written, value), kResultDone);
            ASSERT_EQ(active->Value(kRtu, kTable, 3, 1), raw);
            ASSERT_EQ(Io(kReadGate, poll, value), kResultDone);
            ASSERT_TRUE(WaitFor([&] { return RawValueIs(written.id, raw); }, 2s)) << raw;
        }
        EXPECT_GT(UpdatesOf(reported.id), bursts);
        EXPECT_GT(UpdatesOf(stamped.id), stamped_bursts);
    }
    allocations::Disarm();

    EXPECT_GT(allocations::All(), 0u) << "the counting hooks are in place";
    std::string sites;
    for (const uintptr_t offset : allocations::DriverSites()) {
        char text[32];
        std::snprintf(text, sizeof text, " 0x%zx", static_cast<size_t>(offset));
        sites += text;
    }
    EXPECT_EQ(allocations::Driver(), 0u) << "called from driver offsets" << sites;
}

}  // namespace
}  // namespace krogw::test
