#include "tools/console/log_sink.h"

#include <ctime>

namespace console {
namespace {

using namespace std::chrono_literals;

// Errors closer together than this belong to one run: its first line is the cause,
// the others mostly its consequences.
constexpr auto kErrorRunGap = 30s;
// A flood of one line still leaves a count in the file this often.
constexpr auto kRepeatReport = 60s;

std::string TimeText(std::chrono::system_clock::time_point now) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char text[40];
    const size_t used = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(text + used, sizeof text - used, ".%.3d", static_cast<int>(millis));
    return text;
}

bool SameLine(const hostsim::LogLine& one, const hostsim::LogLine& other) {
    return one.level == other.level && one.client == other.client && one.text == other.text;
}

}  // namespace

LogSink::~LogSink() {
    Close();
}

void LogSink::Close() {
    if (file_ != nullptr) {
        WriteRepeats();
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

void LogSink::WriteRepeats() {
    if (repeats_ == 0) {
        return;
    }
    const auto instance = instances_.find(last_written_.client);
    std::fprintf(file_, "%s %s %d \xE2\x80\xA6 \xC3\x97%d\n", TimeText(SystemClock::now()).c_str(),
                 instance == instances_.end() ? "-" : std::to_string(instance->second).c_str(),
                 last_written_.level, repeats_);
    repeats_ = 0;
}

void LogSink::Write(const hostsim::LogLine& line, SystemClock::time_point now) {
    if (SameLine(line, last_written_)) {
        if (repeats_++ == 0) {
            repeats_since_ = now;
        }
        if (now - repeats_since_ >= kRepeatReport) {
            WriteRepeats();
        }
        return;
    }
    WriteRepeats();
    const auto instance = instances_.find(line.client);
    std::fprintf(file_, "%s %s %d %s\n", TimeText(now).c_str(),
                 instance == instances_.end() ? "-" : std::to_string(instance->second).c_str(),
                 line.level, line.text.c_str());
    last_written_ = line;
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
    for (const hostsim::LogLine& line : lines) {
        if (file_ != nullptr && line.level >= level_) {
            Write(line, now);
        }
        if (line.level >= kErrorLevel) {
            NoteError(line.text, now);
        }
    }
    if (file_ != nullptr && !lines.empty()) {
        std::fflush(file_);
    }
    return lines;
}

}  // namespace console
