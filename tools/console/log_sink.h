// The driver's log lines as the stand-in host collects them: copied into the log file
// at or above its level, with the time and the instance, a line that came within the last
// half minute counted instead of written again; the first error line of the latest run
// of errors kept for the screen. The runtime's store is drained by a thread of the host
// while anything runs, so that it never fills; lines it dropped all the same are counted
// and told once. Every member may be called from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
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
    void NameClient(uint8_t client, int32_t driver_number);
    // Takes the lines the driver logged since the last call into the file.
    void Drain();
    // A mark before a call to the driver; Since gives the instance's lines after it.
    uint64_t Mark();
    std::vector<std::string> Since(uint64_t mark, int32_t driver_number);
    // Drains, writes what is pending, the dropped lines' count, and closes the file.
    void Close();
    // The first error line of the latest run of errors, and how many came after it.
    std::string last_error() const;
    int later_errors() const;
    // "N log lines dropped ... between T1 and T2", or empty when none was.
    std::string DroppedText() const;

  private:
    using SystemClock = std::chrono::system_clock;

    struct Kept {
        uint64_t sequence;
        int32_t instance;
        std::string text;
    };

    void DrainLocked();
    std::string DroppedTextLocked() const;
    int32_t InstanceOf(const hostsim::LogLine& line) const;
    void Write(const hostsim::LogLine& line, SystemClock::time_point now);
    void WriteLine(SystemClock::time_point now, int32_t instance, int level,
                   const std::string& text);
    // Writes the counts of the lines whose half minute is over (all of them with `all`).
    void WriteCounts(SystemClock::time_point now, bool all);
    void NoteError(const std::string& text, SystemClock::time_point now);
    void NoteDropped(SystemClock::time_point now);

    mutable std::mutex mutex_;
    std::FILE* file_ = nullptr;
    int level_ = 0;
    std::map<uint8_t, int32_t> instances_;
    // The lines written lately (by instance, level and text): when, and how often they
    // came again since.
    struct Written {
        SystemClock::time_point at;
        int again = 0;
    };
    std::map<std::tuple<int32_t, int, std::string>, Written> recent_;
    // The latest lines, for Since.
    std::deque<Kept> kept_;
    uint64_t next_sequence_ = 0;
    // The run of errors: the first line, and how many came after it.
    std::string first_error_;
    int later_errors_ = 0;
    SystemClock::time_point last_error_at_{};
    // Lines the runtime's store dropped, and when drains first and last found them.
    uint64_t dropped_ = 0;
    SystemClock::time_point first_drop_seen_{}, last_drop_seen_{};
};

}  // namespace console
