#include "tools/console/log_sink.h"

#include <ctime>

#include "tools/console/routine_lines.h"
#include "tools/console/time_text.h"

namespace console {
namespace {

using namespace std::chrono_literals;

// Errors closer together than this belong to one run: its first line is the cause,
// the others mostly its consequences.
constexpr auto kErrorRunGap = 30s;
// A line that comes again within this time is counted, not written again.
constexpr auto kRepeatWindow = 30s;
// Lines kept for Since: far more than a call to the driver logs while others log too.
constexpr size_t kKeptLines = 4096;

std::string TimeText(std::chrono::system_clock::time_point now) {
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    return LocalTimeText(std::chrono::system_clock::to_time_t(now), static_cast<int>(millis));
}

}  // namespace

LogSink::~LogSink() {
    Close();
}

bool LogSink::Open(const std::string& path, int level, std::string& error) {
    std::lock_guard lock(mutex_);
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) {
        error = "cannot write the log file " + path;
        return false;
    }
    level_ = level;
    return true;
}

void LogSink::NameClient(uint8_t client, int32_t driver_number) {
    std::lock_guard lock(mutex_);
    instances_[client] = driver_number;
}

void LogSink::Close() {
    std::lock_guard lock(mutex_);
    DrainLocked();
    if (file_ == nullptr) {
        return;
    }
    const auto now = SystemClock::now();
    WriteCounts(now, true);
    if (dropped_ > 0) {
        std::fprintf(file_, "%s - %d krogw-host: %s\n", TimeText(now).c_str(), kErrorLevel,
                     DroppedTextLocked().c_str());
    }
    std::fclose(file_);
    file_ = nullptr;
}

std::string LogSink::last_error() const {
    std::lock_guard lock(mutex_);
    return first_error_;
}

int LogSink::later_errors() const {
    std::lock_guard lock(mutex_);
    return later_errors_;
}

std::string LogSink::DroppedText() const {
    std::lock_guard lock(mutex_);
    return DroppedTextLocked();
}

std::string LogSink::DroppedTextLocked() const {
    if (dropped_ == 0) {
        return {};
    }
    return std::to_string(dropped_) +
           " log lines dropped by the host runtime's store, which holds " +
           std::to_string(hostsim::kMaxLogLines) + ", between " + TimeText(first_drop_seen_) +
           " and " + TimeText(last_drop_seen_) + " (found by the drains then)";
}

int32_t LogSink::InstanceOf(const hostsim::LogLine& line) const {
    if (line.instance != 0) {
        return line.instance;
    }
    const auto instance = instances_.find(line.client);
    return instance == instances_.end() ? 0 : instance->second;
}

void LogSink::WriteLine(SystemClock::time_point now, int32_t instance, int level,
                        const std::string& text) {
    std::fprintf(file_, "%s %s %d %s\n", TimeText(now).c_str(),
                 instance == 0 ? "-" : std::to_string(instance).c_str(), level, text.c_str());
}

void LogSink::WriteCounts(SystemClock::time_point now, bool all) {
    for (auto entry = recent_.begin(); entry != recent_.end();) {
        if (!all && now - entry->second.at < kRepeatWindow) {
            ++entry;
            continue;
        }
        if (entry->second.again > 0) {
            const auto& [instance, level, text] = entry->first;
            WriteLine(now, instance, level,
                      text + " \xE2\x80\xA6 \xC3\x97" + std::to_string(entry->second.again));
        }
        entry = recent_.erase(entry);
    }
}

void LogSink::Write(const hostsim::LogLine& line, SystemClock::time_point now) {
    const int32_t instance = InstanceOf(line);
    const auto [entry, added] =
        recent_.try_emplace(std::make_tuple(instance, line.level, line.text), Written{now});
    if (!added) {
        ++entry->second.again;
        return;
    }
    WriteLine(now, instance, line.level, line.text);
}

void LogSink::NoteError(const std::string& text, SystemClock::time_point now) {
    if (first_error_.empty() || now - last_error_at_ > kErrorRunGap) {
        first_error_ = text;
        later_errors_ = 0;
    } else {
        ++later_errors_;
    }
    last_error_at_ = now;
}

void LogSink::NoteDropped(SystemClock::time_point now) {
    const uint64_t dropped = hostsim::LogLinesDropped();
    if (dropped == dropped_) {
        return;
    }
    if (dropped_ == 0) {
        first_drop_seen_ = now;
    }
    last_drop_seen_ = now;
    dropped_ = dropped;
}

void LogSink::DrainLocked() {
    std::vector<hostsim::LogLine> lines = hostsim::TakeLogLines();
    const auto now = SystemClock::now();
    NoteDropped(now);
    if (file_ != nullptr) {
        WriteCounts(now, false);
    }
    for (hostsim::LogLine& line : lines) {
        if (file_ != nullptr && line.level >= level_) {
            Write(line, now);
        }
        if (line.level >= kErrorLevel && !IsRoutineLine(line.text)) {
            NoteError(line.text, now);
        }
        kept_.push_back({next_sequence_++, InstanceOf(line), std::move(line.text)});
    }
    while (kept_.size() > kKeptLines) {
        kept_.pop_front();
    }
    if (file_ != nullptr && !lines.empty()) {
        std::fflush(file_);
    }
}

void LogSink::Drain() {
    std::lock_guard lock(mutex_);
    DrainLocked();
}

uint64_t LogSink::Mark() {
    std::lock_guard lock(mutex_);
    DrainLocked();
    return next_sequence_;
}

std::vector<std::string> LogSink::Since(uint64_t mark, int32_t driver_number) {
    std::lock_guard lock(mutex_);
    DrainLocked();
    std::vector<std::string> lines;
    for (const Kept& line : kept_) {
        if (line.sequence >= mark && line.instance == driver_number) {
            lines.push_back(line.text);
        }
    }
    return lines;
}

}  // namespace console
