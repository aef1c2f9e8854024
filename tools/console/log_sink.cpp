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

void LogSink::Close() {
    if (file_ != nullptr) {
        WriteCounts(SystemClock::now(), true);
        std::fclose(file_);
        file_ = nullptr;
    }
}

bool LogSink::Open(const std::string& path, int level, std::string& error) {
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) {
        error = "cannot write the log file " + path;
        return false;
    }
    level_ = level;
    return true;
}

void LogSink::WriteLine(SystemClock::time_point now, uint8_t client, int level,
                        const std::string& text) {
    const auto instance = instances_.find(client);
    std::fprintf(file_, "%s %s %d %s\n", TimeText(now).c_str(),
                 instance == instances_.end() ? "-" : std::to_string(instance->second).c_str(),
                 level, text.c_str());
}

void LogSink::WriteCounts(SystemClock::time_point now, bool all) {
    for (auto entry = recent_.begin(); entry != recent_.end();) {
        if (!all && now - entry->second.at < kRepeatWindow) {
            ++entry;
            continue;
        }
        if (entry->second.again > 0) {
            const auto& [client, level, text] = entry->first;
            WriteLine(now, client, level,
                      text + " \xE2\x80\xA6 \xC3\x97" + std::to_string(entry->second.again));
        }
        entry = recent_.erase(entry);
    }
}

void LogSink::Write(const hostsim::LogLine& line, SystemClock::time_point now) {
    const auto [entry, added] =
        recent_.try_emplace(std::make_tuple(line.client, line.level, line.text), Written{now});
    if (!added) {
        ++entry->second.again;
        return;
    }
    WriteLine(now, line.client, line.level, line.text);
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

std::vector<hostsim::LogLine> LogSink::Take() {
    std::vector<hostsim::LogLine> lines = hostsim::TakeLogLines();
    const auto now = SystemClock::now();
    if (file_ != nullptr) {
        WriteCounts(now, false);
    }
    for (const hostsim::LogLine& line : lines) {
        if (file_ != nullptr && line.level >= level_) {
            Write(line, now);
        }
        if (line.level >= kErrorLevel && !IsRoutineLine(line.text)) {
            NoteError(line.text, now);
        }
    }
    if (file_ != nullptr) {
        std::fflush(file_);
    }
    return lines;
}

}  // namespace console
