// The stand-in host's log as tests read it.
#pragma once

#include <string>
#include <vector>

#include "tools/hostsim/hostsim.h"

namespace krogw::test {

// How many log lines read exactly `text` at `level`.
inline int Logged(int level, const std::string& text) {
    int count = 0;
    for (const hostsim::LogLine& line : hostsim::LogLines()) {
        count += line.level == level && line.text == text ? 1 : 0;
    }
    return count;
}

// The texts logged at `level`, in order.
inline std::vector<std::string> Logged(int level) {
    std::vector<std::string> texts;
    for (const hostsim::LogLine& line : hostsim::LogLines()) {
        if (line.level == level) {
            texts.push_back(line.text);
        }
    }
    return texts;
}

// The whole log, one "level text" line each, for failure messages.
inline std::string LogText() {
    std::string text;
    for (const hostsim::LogLine& line : hostsim::LogLines()) {
        text += std::to_string(line.level) + " " + line.text + "\n";
    }
    return text;
}

}  // namespace krogw::test
