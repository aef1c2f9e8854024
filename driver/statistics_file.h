// The statistics file: every period, the instance's statistics in the Prometheus text
// format, put in place of the file at the configured path in one step, by a thread of
// its own, so that a slow or failing path never holds up a value or a write.
#pragma once

#include "context/context.h"

namespace krogw {

// Starts the writer when the configuration named a file; logs when it cannot. The
// writer leaves, after writing once more, when the instance ends.
void StartStatisticsFile(const DriverContext& context);

}  // namespace krogw
