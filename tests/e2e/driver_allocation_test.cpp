// The driver allocates nothing once started: an instance loaded as a host loads it
// polls, decodes polled rows and burst reports, writes and switches from the primary
// gateway to the secondary and back, while every allocation of the process is
// charged to the code that asked for it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "context/context.h"
#include "driver/instance_threads.h"
#include "gateway/requests.h"
#include "include/krogw/abi.h"
#include "platform/library.h"
#include "tests/e2e/allocation_counter.h"
#include "tests/support/test_net.h"
#include "tests/support/wait_for.h"
#include "tools/gwsim/gwsim.h"
#include "tools/hostsim/hostsim.h"

namespace krogw::test {
namespace {

using namespace std::chrono_literals;
using KroMainFunction = int32_t (*)(HostRequest*);

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
        previous_ = std::filesystem::current_path();
        directory_ = std::filesystem::temp_directory_path() /
                     ("krogw-allocation-" + std::to_string(::getpid()));
        std::filesystem::create_directories(directory_);
        std::filesystem::current_path(directory_);
        library_ = PlatformLibraryOpen(KROGW_DRIVER_LIBRARY);
        ASSERT_NE(library_, nullptr) << PlatformLibraryError();
        kro_main_ = reinterpret_cast<KroMainFunction>(PlatformLibrarySymbol(library_, "KroMain"));
        ASSERT_NE(kro_main_, nullptr);
    }

    // The host ends the client; the threads must leave before the context goes.
    void TearDown() override {
        allocations::Disarm();
        if (const auto client = hostsim::ClientByName("GateWay_No_41")) {
            hostsim::EndClient(*client);
        }
        EXPECT_TRUE(
            WaitFor([&] { return context_->instance_threads.load() == kThreadsMark; }, 15s));
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(directory_);
    }

    int32_t Call(int32_t code, void* arguments) {
        HostRequest request{context_.get(), code, kDriverNumber, 0, arguments};
        return kro_main_(&request);
    }

    struct Gate {
        int32_t id;
        GateAddress address;
    };

    Gate DefineGate(const char* text) {
        AddressCheckArguments check{text, next_gate_id_, 0, 0, {}};
        EXPECT_EQ(Call(kParseGateAddress, &check), kResultDone) << text;
        ++next_gate_id_;
        return {hostsim::DefineGate(kDriverNumber, check.address), check.address};
    }

    int32_t Io(int32_t code, const Gate& gate, uint8_t* value) {
        GateIoArguments io{{}, gate.address, 0, 1, gate.id, value};
        return Call(code, &io);
    }

    std::unique_ptr<DriverContext> context_ = std::make_unique<DriverContext>();

  private:
    int32_t next_gate_id_ = 1;
    void* library_ = nullptr;
    KroMainFunction kro_main_ = nullptr;
    std::filesystem::path previous_;
    std::filesystem::path directory_;
};

TEST_F(DriverAllocationTest, NothingAllocatedAfterStartUp) {
    auto primary = ServeTables(kPrimary);
    auto secondary = ServeTables(kSecondary);
    std::ofstream("kroGW41.int", std::ios::binary)
        << "PRIMARY=" << kPrimary << "\nSECONDARY=" << kSecondary
        << "\n1=3,3,0\n2=2,4,1,0\nRTU_INITIAL_STATE=ON\n";
    StartArguments start{{}, 1, 100};
    ASSERT_EQ(Call(kStartInstance, &start), kResultDone);
    ASSERT_TRUE(allocations::Arm("libkrogw.so", "libqivpro.so"));

    const Gate reported = DefineGate("00007005010000");
    const Gate stamped = DefineGate("00007006020000");
    const Gate clock = DefineGate("T00007");
    const Gate written = DefineGate("00007005010031");
    const Gate poll = DefineGate("P000070050100004");
    const Gate backup = DefineGate("!BACKUP");
    const Gate primary_status = DefineGate("!1");
    const Gate secondary_status = DefineGate("!2");
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
