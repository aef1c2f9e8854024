#include "tools/check/config_check.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include "tools/check/config_lint.h"
#include "tools/hostsim/hostsim.h"

namespace krogw_check {

bool ReadFileText(const std::string& path, std::string& text) {
    std::ifstream input(path, std::ios::binary);
    if (!input) {
        return false;
    }
    text.assign(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
    return true;
}

std::string TakeDriverLog() {
    std::string text;
    for (const hostsim::LogLine& line : hostsim::TakeLogLines()) {
        text += text.empty() ? line.text : "; " + line.text;
    }
    return text;
}

// One physical line a turn, as the driver reads them, each reported as it goes.
krogw::ConfigSeen CheckConfiguration(const std::string& path, const std::string& text,
                                     krogw::DriverContext& context, Findings& findings,
                                     std::ostream* driver_lines) {
    krogw::ConfigText source{text.data(), text.size(), 0};
    krogw::ConfigSeen seen;
    krogw::ConfigLine line;
    int number = 0;
    std::vector<int> key_lines(ConfigKeys().size());  // where each key was first given
    while (krogw::ReadConfigLine(source, line)) {
        ++number;
        const std::string retained(line.text, line.length);
        if (line.overlong) {
            findings.Error(path, number, "line of more than 135 characters refused");
            ++seen.refused_lines;
            continue;
        }
        if (retained.empty()) {
            continue;
        }
        const int refused_before = seen.refused_lines;
        krogw::ParseConfigLine(line.text, seen, context);
        const std::string log = TakeDriverLog();
        if (seen.refused_lines != refused_before) {
            findings.Error(path, number, log);
            continue;
        }
        if (!log.empty() && driver_lines != nullptr) {
            *driver_lines << "  " << number << ": " << log << "\n";
        }
        const std::string key = KeyOf(retained);
        if (!key.empty()) {
            const auto& keys = ConfigKeys();
            const size_t index =
                static_cast<size_t>(std::find(keys.begin(), keys.end(), key) - keys.begin());
            if (key_lines[index] != 0) {
                findings.Warning(path, number,
                                 key + " is given twice (first on line " +
                                     std::to_string(key_lines[index]) + ")");
            } else {
                key_lines[index] = number;
            }
        } else if (log.empty()) {
            findings.Warning(path, number, UnreadLineWarning(retained));
        } else {
            for (const std::string& warning : TableTypeWarnings(retained)) {
                findings.Warning(path, number, warning);
            }
        }
    }
    if (source.position == text.size() && line.length > 0 && !text.empty() && text.back() != '\n') {
        findings.Warning(path, number + 1,
                         "last line has no line feed and fewer than 10 characters: not read");
    }
    if (!seen.primary) {
        findings.Error(path, 1, "no accepted PRIMARY line: an instance cannot start with it");
    }
    if (!seen.table_type) {
        findings.Error(path, 1, "no accepted table type line: an instance cannot start with it");
    }
    return seen;
}

}  // namespace krogw_check
