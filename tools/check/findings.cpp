#include "tools/check/findings.h"

namespace krogw_check {

void Findings::Error(const std::string& file, int line, const std::string& message) {
    Print(file, line, "error", message);
}

void Findings::Warning(const std::string& file, int line, const std::string& message) {
    Print(file, line, "warning", message);
}

void Findings::Print(const std::string& file, int line, const char* severity,
                     const std::string& message) {
    ++count_;
    out_ << file << ":" << line << ": " << severity << ": " << message << "\n";
}

}  // namespace krogw_check
