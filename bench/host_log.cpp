#include "bench/host_log.h"

#include <sstream>
#include <vector>

namespace bench {
namespace {

constexpr const char* kCloseConfirmed = "kroGW : Close Channel Id ";
constexpr const char* kConfirmedEnd = " Pass";
constexpr const char* kSocketsClosed = "KroGW : Close Socket's of GW # 1";
constexpr const char* kDropped = " log lines dropped";

struct Closing {
    bool confirmed = false;
    bool sockets = false;
};

// "DATE TIME INSTANCE LEVEL TEXT": the instance, 0 for "-" or a line of another form.
int InstanceOf(const std::string& line, std::string& text) {
    std::istringstream fields(line);
    std::string date, time, instance, level;
    if (!(fields >> date >> time >> instance >> level)) {
        return 0;
    }
    std::getline(fields >> std::ws, text);
    const bool number =
        !instance.empty() && instance.find_first_not_of("0123456789") == std::string::npos;
    return number ? std::stoi(instance) : 0;
}

uint64_t DroppedCount(const std::string& line) {
    const size_t at = line.find(kDropped);
    if (at == std::string::npos || at == 0) {
        return 0;
    }
    const size_t before = line.find_last_not_of("0123456789", at - 1);
    const size_t first = before == std::string::npos ? 0 : before + 1;
    return first == at ? 0 : std::stoull(line.substr(first, at - first));
}

}  // namespace

LogFindings CheckHostLog(const std::string& text, int instances) {
    std::vector<Closing> closing(static_cast<size_t>(instances) + 1);
    LogFindings findings;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        findings.dropped_lines += DroppedCount(line);
        std::string message;
        const int instance = InstanceOf(line, message);
        if (instance < 1 || instance > instances) {
            continue;
        }
        Closing& seen = closing[static_cast<size_t>(instance)];
        seen.confirmed = seen.confirmed || (message.rfind(kCloseConfirmed, 0) == 0 &&
                                            message.find(kConfirmedEnd) != std::string::npos);
        seen.sockets = seen.sockets || message.rfind(kSocketsClosed, 0) == 0;
    }
    for (int instance = 1; instance <= instances; ++instance) {
        const Closing& seen = closing[static_cast<size_t>(instance)];
        findings.instances_missing_close_lines += seen.confirmed && seen.sockets ? 0 : 1;
    }
    return findings;
}

}  // namespace bench
