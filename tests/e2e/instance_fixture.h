// Driver instances run as a host runs them: every request through KroMain, each
// instance with its own configuration file in a scratch directory, its own contexts
// and clients, against simulated gateways on loopback.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "context/context.h"
#include "driver/instance_threads.h"
#include "gateway/channel.h"
#include "gateway/pauses.h"
#include "include/krogw/abi.h"
#include "tests/support/driver_host.h"
#include "tests/support/host_log.h"
#include "tests/support/scratch_directory.h"
#include "tests/support/wait_for.h"
#include "tools/gwsim/gwsim.h"
#include "tools/hostsim/hostsim.h"

namespace krogw::test {

using namespace std::chrono_literals;

class InstanceFixture : public ::testing::Test {
  protected:
    static constexpr GatewayPauses kShortPauses{10, 0, 0};

    void SetUp() override {
        hostsim::Reset();
        SetGatewayPauses(kShortPauses);
        directory_.emplace(
            "krogw-instance-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    }

    // Ends every instance's client and waits for its threads to leave, so that no
    // thread outlives the context it works on.
    void TearDown() override {
        for (const auto& instance : instances_) {
            EndInstance(*instance);
        }
        directory_.reset();
        SetGatewayPauses({kConnectSettleMs, kReconnectPauseMs, kSwitchOverPauseMs});
    }

    // An instance of the driver linked into the test, with a context of its own.
    struct Instance : HostInstance {
        explicit Instance(int32_t number) : HostInstance{&KroMain, number, nullptr} {
            context = storage.get();
        }
        std::unique_ptr<DriverContext> storage = std::make_unique<DriverContext>();
    };
    using Gate = HostGate;

    Instance& NewInstance(int32_t driver_number) {
        instances_.push_back(std::make_unique<Instance>(driver_number));
        return *instances_.back();
    }

    Gate DefineGate(const Instance& instance, const char* text) {
        return gates_.Define(instance, text);
    }

    // The words of an address that no gate of the host has; the driver must accept it.
    static GateAddress AddressOf(const Instance& instance, const char* text) {
        int32_t result = kResultNotDone;
        const GateAddress words = test::AddressOf(instance, text, &result);
        EXPECT_EQ(result, kResultDone) << text;
        return words;
    }

    // Ends the instance's client as the host does and waits, bounded, for both threads.
    static bool EndInstance(Instance& instance) {
        const auto client = ClientOf(instance.driver_number);
        if (!client) {
            return WaitFor([&] { return !InstanceThreadsRunning(*instance.context); }, 15s);
        }
        // The threads count themselves out before they remove the client: only the
        // second removal says that neither touches the driver's state any more.
        const int removed = hostsim::ClientRemovals(*client);
        hostsim::EndClient(*client);
        return WaitFor([&] { return hostsim::ClientRemovals(*client) >= removed + 2; }, 15s);
    }

  private:
    HostGates gates_;
    std::optional<ScratchDirectory> directory_;
    std::vector<std::unique_ptr<Instance>> instances_;
};

}  // namespace krogw::test
