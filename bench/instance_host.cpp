#include "bench/instance_host.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>

#include "driver/instance_threads.h"
#include "tests/support/wait_for.h"
#include "tools/hostsim/hostsim.h"

namespace bench {

using namespace std::chrono_literals;

RunningInstance::RunningInstance(int32_t driver_number, const std::string& configuration)
    : driver_number_(driver_number) {
    hostsim::Reset();
    hostsim::SetLogFilter(kLogError);
    previous_ = std::filesystem::current_path();
    directory_ =
        std::filesystem::temp_directory_path() / ("krogw-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory_);
    std::filesystem::current_path(directory_);
    char name[32];
    std::snprintf(name, sizeof name, "kroGW%.2d.int", driver_number);
    std::ofstream(name, std::ios::binary) << configuration;
    krogw::StartArguments start{{}, 1, 100};
    started_ = Call(krogw::kStartInstance, &start) == krogw::kResultDone;
}

RunningInstance::~RunningInstance() {
    char name[32];
    std::snprintf(name, sizeof name, "GateWay_No_%.2d", driver_number_);
    if (const auto client = hostsim::ClientByName(name)) {
        hostsim::EndClient(*client);
    }
    krogw::test::WaitFor([&] { return !krogw::InstanceThreadsRunning(*context_); }, 15s);
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(directory_);
}

bool RunningInstance::WaitConnected() const {
    return krogw::test::WaitFor([&] { return context_->active_sockets.burst.load() != 0; }, 10s);
}

int32_t RunningInstance::DefineGate(const char* text) {
    krogw::AddressCheckArguments check{text, next_gate_id_, 0, 0, {}};
    if (Call(krogw::kParseGateAddress, &check) != krogw::kResultDone) {
        return 0;
    }
    const int32_t id = hostsim::DefineGate(driver_number_, check.address);
    if (id <= 0 || id >= static_cast<int32_t>(std::size(addresses_))) {
        return 0;
    }
    addresses_[id] = check.address;
    ++next_gate_id_;
    return id;
}

int32_t RunningInstance::Read(int32_t gate_id, uint8_t* value) {
    krogw::GateIoArguments io{{}, addresses_[gate_id], 0, 1, gate_id, value};
    return Call(krogw::kReadGate, &io);
}

int32_t RunningInstance::Call(int32_t code, void* arguments) {
    krogw::HostRequest request{context_.get(), code, driver_number_, 0, arguments};
    return KroMain(&request);
}

}  // namespace bench
