// Scenario files for the gwsim command: the RTUs, their tables and values, and the burst
// schedule, one statement per line. The format is described in tools/gwsim/README.md.
#pragma once

#include <chrono>
#include <cstdint>
#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/gwsim/stop_schedule.h"
#include "tools/gwsim/table_model.h"
#include "tools/gwsim/types.h"

namespace gwsim {

struct ScheduledBurst {
    BurstReport report;
    std::chrono::milliseconds period{0};
};

struct Scenario {
    TableModel model;
    std::vector<ScheduledBurst> bursts;
    std::optional<uint32_t> status_word;
    std::vector<ScheduledStop> stops;  // carried out by the command, not by Gateway
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
