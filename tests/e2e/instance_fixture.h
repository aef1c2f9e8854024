// Driver instances run as a host runs them: every request through KroMain, each
// instance with its own configuration file in a scratch directory, its own contexts
// and clients, against simulated gateways on loopback.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "context/context.h"
#include "driver/instance_threads.h"
#include "gateway/channel.h"
#include "gateway/pauses.h"
#include "include/krogw/abi.h"
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
        previous_ = std::filesystem::current_path();
        directory_ = std::filesystem::temp_directory_path() /
                     ("krogw-instance-" + std::to_string(::getpid()) + "-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(directory_);
        std::filesystem::create_directories(directory_);
        std::filesystem::current_path(directory_);
    }

    // Ends every instance's client and waits for its threads to leave, so that no
    // thread outlives the context it works on.
    void TearDown() override {
        for (const auto& instance : instances_) {
            EndInstance(*instance);
        }
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(directory_);
        SetGatewayPauses({kConnectSettleMs, kReconnectPauseMs, kSwitchOverPauseMs});
    }

    struct Instance {
        int32_t driver_number;
        std::unique_ptr<DriverContext> context = std::make_unique<DriverContext>();
    };

    static void WriteConfiguration(int32_t driver_number, const std::string& text) {
        char name[32];
        std::snprintf(name, sizeof name, "kroGW%.2d.int", driver_number);
        std::ofstream(name, std::ios::binary) << text;
    }

    Instance& NewInstance(int32_t driver_number) {
        instances_.push_back(std::make_unique<Instance>(Instance{driver_number}));
        return *instances_.back();
    }

    static int32_t Call(Instance& instance, int32_t code, void* arguments) {
        HostRequest request{instance.context.get(), code, instance.driver_number, 0, arguments};
        return KroMain(&request);
    }

    static int32_t Start(Instance& instance, int32_t start_flag, int32_t timeout_10ms = 100) {
        StartArguments arguments{{}, start_flag, timeout_10ms};
        return Call(instance, kStartInstance, &arguments);
    }

    struct Gate {
        int32_t id = 0;  // 0: the driver refused the address
        GateAddress address{};
    };

    // Checks the address through the driver and defines the gate in the host with the
    // words it gave.
    Gate DefineGate(Instance& instance, const char* text) {
        AddressCheckArguments check{text, next_gate_id_, 0, 0, {}};
        if (Call(instance, kParseGateAddress, &check) != kResultDone) {
            return {};
        }
        const int32_t id = hostsim::DefineGate(instance.driver_number, check.address);
        EXPECT_EQ(id, next_gate_id_) << text;
        ++next_gate_id_;
        return {id, check.address};
    }

    // The words of an address that no gate of the host has.
    static GateAddress AddressOf(Instance& instance, const char* text) {
        AddressCheckArguments check{text, 0, 0, 0, {}};
        EXPECT_EQ(Call(instance, kParseGateAddress, &check), kResultDone) << text;
        return check.address;
    }

    // A read or write request of one gate with the value buffer `value`.
    static int32_t GateIo(Instance& instance, int32_t code, const GateAddress& address,
                          uint8_t* value, int32_t element_count = 1, int32_t gate_id = 0) {
        GateIoArguments io{{}, address, 0, element_count, gate_id, value};
        return Call(instance, code, &io);
    }

    // Reads a special gate; its value word, or -1 when the read did not answer 0.
    static int32_t ReadWord(Instance& instance, const char* text) {
        uint8_t value[4] = {};
        if (GateIo(instance, kReadGate, AddressOf(instance, text), value) != kResultDone) {
            return -1;
        }
        return value[2] | value[3] << 8;
    }

    static int32_t WriteWord(Instance& instance, const char* text, uint16_t word) {
        uint8_t value[4] = {0, 0, static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8)};
        return GateIo(instance, kWriteGate, AddressOf(instance, text), value);
    }

    static std::optional<uint8_t> ClientOf(int32_t driver_number) {
        char name[32];
        std::snprintf(name, sizeof name, "GateWay_No_%.2d", driver_number);
        return hostsim::ClientByName(name);
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

    static int Logged(int level, const std::string& text) {
        int count = 0;
        for (const hostsim::LogLine& line : hostsim::LogLines()) {
            count += line.level == level && line.text == text ? 1 : 0;
        }
        return count;
    }

    static std::string LogText() {
        std::string text;
        for (const hostsim::LogLine& line : hostsim::LogLines()) {
            text += std::to_string(line.level) + " " + line.text + "\n";
        }
        return text;
    }

  private:
    // The host gives gate ids in order from 1; the check needs the id beforehand.
    int32_t next_gate_id_ = 1;
    std::filesystem::path previous_;
    std::filesystem::path directory_;
    std::vector<std::unique_ptr<Instance>> instances_;
};

}  // namespace krogw::test
