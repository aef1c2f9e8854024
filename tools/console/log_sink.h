// The driver's log lines as the stand-in host collects them: copied into the log file
// at or above its level, the last error line kept for the screen.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tools/hostsim/hostsim.h"

namespace console {

inline constexpr int kErrorLevel = 32;

class LogSink {
  public:
    LogSink() = default;
    LogSink(const LogSink&) = delete;
    LogSink& operator=(const LogSink&) = delete;
    ~LogSink();

    bool Open(const std::string& path, int level, std::string& error);
    // Takes the lines the driver logged since the last call.
    std::vector<hostsim::LogLine> Take();
    const std::string& last_error() const { return last_error_; }

  private:
    std::FILE* file_ = nullptr;
    int level_ = 0;
    std::string last_error_;
};

}  // namespace console
