// How a project gate is told on the screen and in answers to the operator: its value,
// poll result or value word, and for a table gate the values it has received.
#pragma once

#include <cstdint>
#include <string>

#include "tools/console/host_instances.h"

namespace console {

std::string GateText(const GateState& gate);
// " updates N" for a table gate that has a value, otherwise empty.
std::string UpdatesText(const GateState& gate);
// Poll gates ask for values rather than hold one; write-only gates hold none.
bool HasValue(const GateState& gate);
// How many values a table gate has received; 0 for other kinds.
uint64_t ValuesReceived(const GateState& gate);

}  // namespace console
