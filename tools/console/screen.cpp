#include "tools/console/screen.h"

namespace console {
namespace {

constexpr size_t kNotesKept = 5;
constexpr const char* kClearScreen = "\x1b[H\x1b[2J";

}  // namespace

void Screen::Show(const std::vector<ScreenItem>& items, double elapsed_s) {
    if (!refreshing_) {
        for (const ScreenItem& item : items) {
            auto [shown, added] = shown_.try_emplace(item.key, item.value);
            if (added || shown->second != item.value) {
                shown->second = item.value;
                std::fprintf(out_, "%9.3f %s %s%s\n", elapsed_s, item.key.c_str(),
                             item.value.c_str(), item.detail.c_str());
            }
        }
        std::fflush(out_);
        return;
    }
    std::fprintf(out_, "%skrogw-host  %.1f s   (commands: help)\n\n", kClearScreen, elapsed_s);
    for (const ScreenItem& item : items) {
        std::fprintf(out_, "%-28s %s%s\n", item.key.c_str(), item.value.c_str(),
                     item.detail.c_str());
    }
    std::fputs("\n", out_);
    for (const std::string& note : notes_) {
        std::fprintf(out_, "%s\n", note.c_str());
    }
    std::fflush(out_);
}

void Screen::Note(const std::string& text, double elapsed_s) {
    if (!refreshing_) {
        std::fprintf(out_, "%9.3f %s\n", elapsed_s, text.c_str());
        std::fflush(out_);
        return;
    }
    notes_.push_back(text);
    if (notes_.size() > kNotesKept) {
        notes_.erase(notes_.begin());
    }
}

}  // namespace console
