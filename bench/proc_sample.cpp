#include "bench/proc_sample.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace bench {
namespace {

std::optional<std::string> ReadWhole(const std::filesystem::path& path) {
    std::ifstream file(path);
    if (!file) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

std::optional<int64_t> StatusField(const std::string& status, const std::string& name) {
    const std::string key = "\n" + name + ":";
    const size_t at = ("\n" + status).find(key);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream rest(status.substr(at + key.size() - 1));
    int64_t value = 0;
    return rest >> value ? std::optional<int64_t>(value) : std::nullopt;
}

std::optional<uint64_t> CpuTicks(const std::string& stat) {
    // The command name in parentheses may hold blanks and parentheses itself: the
    // fields are counted from its last ')', which is followed by field 3, the state.
    const size_t name_end = stat.rfind(')');
    if (name_end == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(stat.substr(name_end + 1));
    std::string skipped;
    for (int field = 3; field < 14; ++field) {
        if (!(fields >> skipped)) {
            return std::nullopt;
        }
    }
    uint64_t user = 0;
    uint64_t system = 0;
    return fields >> user >> system ? std::optional<uint64_t>(user + system) : std::nullopt;
}

std::optional<ProcessSample> SampleProcess(pid_t pid) {
    const std::filesystem::path folder = "/proc/" + std::to_string(pid);
    const auto status = ReadWhole(folder / "status");
    const auto stat = ReadWhole(folder / "stat");
    if (!status || !stat) {
        return std::nullopt;
    }
    const auto rss = StatusField(*status, "VmRSS");
    const auto threads = StatusField(*status, "Threads");
    const auto ticks = CpuTicks(*stat);
    std::error_code gone;
    std::filesystem::directory_iterator fds(folder / "fd", gone);
    if (!rss || !threads || !ticks || gone) {
        return std::nullopt;
    }
    ProcessSample sample{*rss, *threads, 0,
                         static_cast<double>(*ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK))};
    for (; fds != std::filesystem::directory_iterator(); fds.increment(gone)) {
        ++sample.descriptors;
    }
    return sample;
}

}  // namespace bench
