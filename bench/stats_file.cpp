#include "bench/stats_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

namespace bench {

std::map<int, uint64_t> RtuValues(const std::string& text) {
    static const std::string kMetric = "krogw_rtu_values_total{";
    static const std::string kRtuLabel = "rtu=\"";
    std::map<int, uint64_t> values;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const size_t label = line.find(kRtuLabel);
        const size_t labels_end = line.find('}');
        if (line.rfind(kMetric, 0) != 0 || label == std::string::npos ||
            labels_end == std::string::npos || label > labels_end) {
            continue;
        }
        std::istringstream rtu(line.substr(label + kRtuLabel.size()));
        std::istringstream count(line.substr(labels_end + 1));
        int number = 0;
        uint64_t value = 0;
        if (rtu >> number && count >> value) {
            values[number] = value;
        }
    }
    return values;
}

std::optional<StatsSnapshot> ReadStatsFile(const std::filesystem::path& path) {
    // The driver replaces the file in one step: the descriptor holds one whole version,
    // and its time stamp belongs to that version.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat status {};
    std::string text;
    bool whole = ::fstat(fd, &status) == 0;
    char buffer[65536];
    for (ssize_t got = 1; whole && got > 0;) {
        got = ::read(fd, buffer, sizeof buffer);
        whole = got >= 0;
        text.append(buffer, whole ? static_cast<size_t>(got) : 0);
    }
    ::close(fd);
    if (!whole) {
        return std::nullopt;
    }
    return StatsSnapshot{RtuValues(text), static_cast<double>(status.st_mtim.tv_sec) +
                                              static_cast<double>(status.st_mtim.tv_nsec) / 1e9};
}

}  // namespace bench
