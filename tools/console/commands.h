// Operator commands from standard input, mapped to the driver's gates and requests.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "tools/console/host_instances.h"

namespace console {

// Lines of standard input, read on a thread of their own so that the scan goes on
// while the operator types.
class CommandInput {
  public:
    // With quit_at_end, the end of the input counts as a quit command.
    void StartReading(bool quit_at_end);
    // The next line, waiting until the deadline at most.
    std::optional<std::string> Next(Clock::time_point deadline);

  private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::string> lines_;
};

struct CommandOutcome {
    std::string text;  // what happened, for the screen
    bool quit = false;
    std::optional<int32_t> write_result;  // of a write to a project gate that reached the driver
};

// Runs one command line against the instances: write, show, disable, enable, clock,
// setcall, switch, reconnect, quit, help.
CommandOutcome RunCommand(const std::string& line, HostInstances& host);

}  // namespace console
