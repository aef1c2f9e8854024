// A host for end-to-end measurements: one driver instance started through KroMain in
// a scratch directory with its own configuration file, and its gates defined by the
// driver's address check, as a host defines them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "context/context.h"
#include "include/krogw/abi.h"

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
    // The host's gate id, 0 when the driver refused the address.
    int32_t DefineGate(const char* text);
    int32_t Read(int32_t gate_id, uint8_t* value);

  private:
    int32_t Call(int32_t code, void* arguments);

    int32_t driver_number_;
    std::unique_ptr<krogw::DriverContext> context_ = std::make_unique<krogw::DriverContext>();
    std::filesystem::path previous_;
    std::filesystem::path directory_;
    bool started_ = false;
    int32_t next_gate_id_ = 1;
    krogw::GateAddress addresses_[256] = {};  // by gate id
};

}  // namespace bench
