// Findings in the form editors and CI parse: "FILE:LINE: error|warning: message".
#pragma once

#include <ostream>
#include <string>

namespace krogw_check {

class Findings {
  public:
    explicit Findings(std::ostream& out) : out_(out) {}
    void Error(const std::string& file, int line, const std::string& message);
    void Warning(const std::string& file, int line, const std::string& message);
    int count() const { return count_; }

  private:
    void Print(const std::string& file, int line, const char* severity, const std::string& message);
    std::ostream& out_;
    int count_ = 0;
};

}  // namespace krogw_check
