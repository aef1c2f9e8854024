// What the console host shows: one line per item (a gate, an RTU, an instance's
// gateway and loads, the last error). On a terminal the whole table is redrawn every
// scan; otherwise a line is printed whenever an item's value changes (a count of updates
// going up is no change).
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace console {

struct ScreenItem {
    ScreenItem(std::string key_text, std::string value_text, std::string detail_text = {})
        : key(std::move(key_text)), value(std::move(value_text)), detail(std::move(detail_text)) {}

    std::string key;     // "gate flow1", "rtu 1/2", "instance 1 gateway", ...
    std::string value;   // what is shown after it
    std::string detail;  // shown after the value; a change of it alone is no change
};

class Screen {
  public:
    Screen(std::FILE* out, bool refreshing) : out_(out), refreshing_(refreshing) {}

    void Show(const std::vector<ScreenItem>& items, double elapsed_s);
    // A message of the host itself: a command's outcome, a rejected address.
    void Note(const std::string& text, double elapsed_s);

  private:
    std::FILE* out_;
    bool refreshing_;
    std::map<std::string, std::string> shown_;
    std::vector<std::string> notes_;  // the latest, kept under the redrawn table
};

}  // namespace console
