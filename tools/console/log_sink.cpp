#include "tools/console/log_sink.h"

namespace console {

LogSink::~LogSink() {
    if (file_ != nullptr) {
        std::fclose(file_);
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

std::vector<hostsim::LogLine> LogSink::Take() {
    std::vector<hostsim::LogLine> lines = hostsim::TakeLogLines();
    for (const hostsim::LogLine& line : lines) {
        if (file_ != nullptr && line.level >= level_) {
            std::fprintf(file_, "%d %s\n", line.level, line.text.c_str());
        }
        if (line.level >= kErrorLevel) {
            last_error_ = line.text;
        }
    }
    if (file_ != nullptr && !lines.empty()) {
        std::fflush(file_);
    }
    return lines;
}

}  // namespace console
