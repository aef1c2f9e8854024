// The driver's log lines as the stand-in host collects them: copied into the log file
// at or above its level, with the time and the instance, a line that came within the last
// half minute counted instead of written again; the first error line of the latest run
// of errors kept for the screen.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <tuple>
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
    // Lines of this host client belong to this instance.
    void NameClient(uint8_t client, int32_t driver_number) { instances_[client] = driver_number; }
    // Takes the lines the driver logged since the last call.
    std::vector<hostsim::LogLine> Take();
    // Writes what is pending and closes the file.
    void Close();
    // The first error line of the latest run of errors, and how many came after it.
    const std::string& last_error() const { return first_error_; }
    int later_errors() const { return later_errors_; }

  private:
    using SystemClock = std::chrono::system_clock;

    void Write(const hostsim::LogLine& line, SystemClock::time_point now);
    void WriteLine(SystemClock::time_point now, uint8_t client, int level, const std::string& text);
    // Writes the counts of the lines whose half minute is over (all of them with `all`).
    void WriteCounts(SystemClock::time_point now, bool all);
    void NoteError(const std::string& text, SystemClock::time_point now);

    std::FILE* file_ = nullptr;
    int level_ = 0;
    std::map<uint8_t, int32_t> instances_;
    // The lines written lately (by client, level and text): when, and how often they
    // came again since.
    struct Written {
        SystemClock::time_point at;
        int again = 0;
    };
    std::map<std::tuple<uint8_t, int, std::string>, Written> recent_;
    // The run of errors: the first line, and how many came after it.
    std::string first_error_;
    int later_errors_ = 0;
    SystemClock::time_point last_error_at_{};
};

}  // namespace console
