// One-line descriptions of messages and of what faults do to them, for the log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/gwsim/faults.h"

namespace gwsim {

std::string Describe(const std::vector<uint8_t>& message);
std::string PlanNotes(const OutgoingPlan& plan);

}  // namespace gwsim
