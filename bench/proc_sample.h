// What /proc tells about a running process: resident memory, threads, descriptors and
// the CPU time it has used (user and system, all its threads).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace bench {

struct ProcessSample {
    int64_t rss_kib = 0;
    int64_t threads = 0;
    int64_t descriptors = 0;
    double cpu_seconds = 0;
};

// nullopt once the process is gone.
std::optional<ProcessSample> SampleProcess(pid_t pid);

// The number after "NAME:" in /proc/PID/status text; nullopt without the field.
std::optional<int64_t> StatusField(const std::string& status, const std::string& name);
// utime + stime, in clock ticks, from /proc/PID/stat text; nullopt when malformed.
std::optional<uint64_t> CpuTicks(const std::string& stat);

}  // namespace bench
