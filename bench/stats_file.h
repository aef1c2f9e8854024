// An instance's statistics file (STATS_FILE) as the benchmark reads it: the values
// stored per RTU, and when the driver wrote the file, so that rates come from the
// driver's own moments rather than from when the benchmark looked.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace bench {

struct StatsSnapshot {
    std::map<int, uint64_t> values_by_rtu;  // krogw_rtu_values_total
    double written_s = 0;                   // the file's modification time, Unix seconds
};

// nullopt while the file is not there.
std::optional<StatsSnapshot> ReadStatsFile(const std::filesystem::path& path);

// krogw_rtu_values_total per RTU in Prometheus text.
std::map<int, uint64_t> RtuValues(const std::string& text);

}  // namespace bench
