#include "context/decimal_text.h"

namespace krogw {

bool ReadDecimal(const char* text, size_t max_chars, int32_t& value) {
    size_t used = 0;
    bool negative = false;
    if (used < max_chars && (text[used] == '+' || text[used] == '-')) {
        negative = text[used] == '-';
        ++used;
    }
    constexpr int64_t kLimit = int64_t{INT32_MAX} + 1;
    int64_t magnitude = 0;
    bool any_digit = false;
    for (; used < max_chars && text[used] >= '0' && text[used] <= '9'; ++used) {
        any_digit = true;
        if (magnitude < kLimit) {
            magnitude = magnitude * 10 + (text[used] - '0');
        }
    }
    if (!any_digit) {
        return false;
    }
    if (magnitude > kLimit) {
        magnitude = kLimit;
    }
    const int64_t signed_value = negative ? -magnitude : magnitude;
    value = static_cast<int32_t>(signed_value > INT32_MAX ? INT32_MAX : signed_value);
    return true;
}

}  // namespace krogw
