// Communication health as the console host shows it: a panel per gateway and per RTU
// from the driver's statistics gates, and the walk from one gate to its value that
// answers "why is this gate not updating?".
#pragma once

#include <string>
#include <vector>

#include "tools/console/host_instances.h"
#include "tools/console/screen.h"

namespace console {

// One item per gateway and per RTU of the instance. What changes every scan (times and
// counts) is detail; the value changes only with the state: up or down, and an RTU's
// values fresh, quiet or not yet come.
std::vector<ScreenItem> HealthItems(HostInstances& host, InstanceState& instance);

// Remembers, for every table gate, its count of values received when its value last
// changed, so that values that arrive unchanged can be told apart from none.
void NoteTableValues(InstanceState& instance);

// The chain for the project gate `name`, one line a link, then the verdict; a line
// saying so when there is no such gate.
std::string WhyText(HostInstances& host, const std::string& name);

}  // namespace console
