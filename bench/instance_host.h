// A host for end-to-end measurements: one driver instance started through KroMain in
// a scratch directory with its own configuration file, and its gates defined by the
// driver's address check, as a host defines them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "context/context.h"
#include "include/krogw/abi.h"
#include "tests/support/driver_host.h"
#include "tests/support/scratch_directory.h"

namespace bench {

class RunningInstance {
  public:
    // Writes the configuration and starts the instance with its threads.
    RunningInstance(int32_t driver_number, const std::string& configuration);
    // Ends the client as the host does and waits, bounded, for the threads to leave.
    ~RunningInstance();
    RunningInstance(const RunningInstance&) = delete;
    RunningInstance& operator=(const RunningInstance&) = delete;

    bool started() const { return started_; }
    // True once the burst channel of the active gateway is open, within 10 s.
    bool WaitConnected() const;
    // The gate, of id 0 when the driver refused the address.
    krogw::test::HostGate DefineGate(const char* text) { return gates_.Define(instance_, text); }
    int32_t Read(const krogw::test::HostGate& gate, uint8_t* value) const;

  private:
    std::unique_ptr<krogw::DriverContext> context_ = std::make_unique<krogw::DriverContext>();
    krogw::test::HostInstance instance_;
    krogw::test::ScratchDirectory directory_{"krogw-bench"};
    krogw::test::HostGates gates_;
    bool started_ = false;
};

}  // namespace bench
