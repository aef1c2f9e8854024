// The plant behind each instance of the many-instances benchmark, and the files that
// tell krogw-host to run N of them: one simulated gateway per instance, each on a
// loopback address of its own (port 5001 is fixed), serving
// - 16 RTUs (1..16) that each burst one row of four 16-bit values every second, and
// - RTU 17, whose 16 rows of four 16-bit values four poll gates read each scan, four
//   rows (16 values) a poll.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tools/gwsim/gwsim.h"

namespace bench {

inline constexpr int kBurstRtus = 16;  // RTUs 1..16
inline constexpr int kPollRtu = kBurstRtus + 1;
inline constexpr int kColumns = 4;
inline constexpr int kPollGates = 4;
inline constexpr int kRowsPerPoll = 4;
inline constexpr int kPollRows = kPollGates * kRowsPerPoll;
inline constexpr int kBurstValuesPerReport = kColumns;  // one row
inline constexpr int kValuesPerPoll = kRowsPerPoll * kColumns;
inline constexpr int kScanMs = 1000;
inline constexpr int kBurstPeriodMs = 1000;
inline constexpr int kMaxInstances = 99;

// "127.0.90.<instance>", instances from 1.
std::string GatewayAddress(int instance);

// A gateway per instance with the plant's tables, serving, no bursts scheduled yet.
std::vector<std::unique_ptr<gwsim::Gateway>> StartGateways(int instances);

// Schedules every RTU's burst on every gateway, RTU r's a sixteenth of the period after
// RTU r-1's, so that the reports of one second are spread over it.
void ScheduleBursts(const std::vector<std::unique_ptr<gwsim::Gateway>>& gateways);

// The statistics file that instance's configuration names, in `folder`.
std::filesystem::path StatsFileOf(const std::filesystem::path& folder, int instance);

// Writes each instance's configuration and the project into `folder`; returns the
// project's path. Without polls the project has the table gates only.
std::filesystem::path WriteProject(const std::filesystem::path& folder, int instances,
                                   bool with_polls);

}  // namespace bench
