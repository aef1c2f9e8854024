#include "tools/check/address_list.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace krogw_check {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

std::string Trimmed(const std::string& text) {
    const auto first = std::find_if_not(text.begin(), text.end(), IsBlank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), IsBlank).base();
    return first < last ? std::string(first, last) : std::string();
}

// A whole decimal number, optionally negative, that fits 32 bits.
std::optional<int32_t> WholeNumber(const std::string& text) {
    int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

// The only two forms that can be arrays, filled to their last position: followed by
// a blank and a digit, neither is an address the driver accepts.
bool IsWholeArrayForm(const std::string& text) {
    const auto digits = [&text](size_t first, size_t count) {
        return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(first),
                           text.begin() + static_cast<std::ptrdiff_t>(first + count), IsDigit);
    };
    if (text.size() == 14) {
        return digits(0, 14);
    }
    return text.size() == 8 && std::toupper(static_cast<unsigned char>(text[0])) == 'S' &&
           digits(1, 5) && std::toupper(static_cast<unsigned char>(text[6])) == 'C' && digits(7, 1);
}

}  // namespace

AddressLineRead ReadAddressLine(std::string raw, AddressLine& line) {
    if (!raw.empty() && raw.back() == '\r') {
        raw.pop_back();
    }
    const std::string trimmed = Trimmed(raw);
    if (trimmed.empty() || trimmed[0] == '#') {
        return AddressLineRead::kSkipped;
    }
    line = AddressLine{};
    const size_t tab = raw.find('\t');
    if (tab != std::string::npos) {
        line.text = raw.substr(0, tab);
        line.element_count = WholeNumber(Trimmed(raw.substr(tab + 1)));
        return line.element_count ? AddressLineRead::kAddress : AddressLineRead::kBadCount;
    }
    const size_t blank = raw.find(' ');
    if (blank != std::string::npos && IsWholeArrayForm(raw.substr(0, blank))) {
        if (const auto count = WholeNumber(Trimmed(raw.substr(blank)))) {
            line.text = raw.substr(0, blank);
            line.element_count = count;
            return AddressLineRead::kAddress;
        }
    }
    line.text = raw;
    return AddressLineRead::kAddress;
}

std::string ShownAddress(const AddressLine& line) {
    std::string shown = line.text;
    if (shown.empty() || std::any_of(shown.begin(), shown.end(), IsBlank)) {
        shown = "'" + shown + "'";
    }
    if (line.element_count) {
        // Appended piece by piece: GCC 12 at -O3 flags "[" + std::string with a false
        // -Wrestrict.
        shown.append("[").append(std::to_string(*line.element_count)).append("]");
    }
    return shown;
}

}  // namespace krogw_check
