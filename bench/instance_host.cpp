#include "bench/instance_host.h"

#include <chrono>

#include "driver/instance_threads.h"
#include "tests/support/wait_for.h"
#include "tools/hostsim/hostsim.h"

namespace bench {

using namespace std::chrono_literals;

RunningInstance::RunningInstance(int32_t driver_number, const std::string& configuration)
    : instance_{&KroMain, driver_number, context_.get()} {
    hostsim::Reset();
    hostsim::SetLogFilter(kLogError);
    started_ = krogw::test::WriteConfiguration(driver_number, configuration) &&
               krogw::test::Start(instance_, 1) == krogw::kResultDone;
}

RunningInstance::~RunningInstance() {
    if (const auto client = krogw::test::ClientOf(instance_.driver_number)) {
        hostsim::EndClient(*client);
    }
    krogw::test::WaitFor([&] { return !krogw::InstanceThreadsRunning(*context_); }, 15s);
}

bool RunningInstance::WaitConnected() const {
    return krogw::test::WaitFor([&] { return context_->active_sockets.burst.load() != 0; }, 10s);
}

int32_t RunningInstance::Read(const krogw::test::HostGate& gate, uint8_t* value) const {
    return krogw::test::GateIo(instance_, krogw::kReadGate, gate, value);
}

}  // namespace bench
