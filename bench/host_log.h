// krogw-host's log file (--log) read after the run: did every instance log its close,
// and did the host runtime's store drop lines.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

struct LogFindings {
    // Instances 1..N without both closing lines: the gateway confirming the close of
    // their channel, and their threads closing the gateway's sockets.
    int instances_missing_close_lines = 0;
    // The sum of what the "N log lines dropped" lines say.
    uint64_t dropped_lines = 0;
};

// `text` is the whole log file of a run with instances 1..instances.
LogFindings CheckHostLog(const std::string& text, int instances);

}  // namespace bench
