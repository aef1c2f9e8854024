// Scenario files for the gwsim command: the RTUs, their tables and values, the burst
// schedule, stops and faults, one statement per line. The format is described in
// tools/gwsim/README.md.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/gwsim/faults.h"
#include "tools/gwsim/stop_schedule.h"
#include "tools/gwsim/table_model.h"
#include "tools/gwsim/types.h"

namespace gwsim {

struct ScheduledBurst {
    BurstReport report;
    std::chrono::milliseconds period{0};
};

// A fault the command commits at a moment after its start: a disconnect, a message of an
// unknown opcode, or connections refused for a while.
struct ScheduledFault {
    enum class What { kDisconnect, kUnknownMessage, kRefuse, kAccept };
    What what = What::kDisconnect;
    int gateway = 1;  // 1 for the first --address, 2 for the second
    std::chrono::milliseconds at{0};
    uint32_t opcode = 0;  // of the unknown message
};

struct Scenario {
    TableModel model;
    std::vector<ScheduledBurst> bursts;
    std::optional<uint32_t> status_word;
    // The message and connection fault rules, set on every gateway from the start.
    std::vector<std::function<void(Faults&)>> faults;
    std::vector<ScheduledStop> stops;   // carried out by the command, not by Gateway
    std::vector<ScheduledFault> timed;  // likewise, in the order of `at`
};

// "line 7: table type 9 is not defined"
class ScenarioError : public std::runtime_error {
  public:
    ScenarioError(int line, const std::string& message);
    int line() const { return line_; }

  private:
    int line_;
};

// Throws ScenarioError at the first bad line.
Scenario ParseScenario(std::istream& in);
// Throws ScenarioError with line 0 when the file cannot be read.
Scenario LoadScenarioFile(const std::string& path);

}  // namespace gwsim
