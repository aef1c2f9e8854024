#include "platform/ipv4_text.h"

namespace krogw {
namespace {

constexpr int kParts = 4;
constexpr uint32_t kPartMax = 255;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads one part at *at and moves past it; false when it is not 0..255 in decimal
// or has a leading zero.
bool ReadPart(const char*& at, uint32_t& part) {
    if (!IsDigit(*at) || (at[0] == '0' && IsDigit(at[1]))) {
        return false;
    }
    part = 0;
    while (IsDigit(*at)) {
        part = part * 10 + static_cast<uint32_t>(*at - '0');
        if (part > kPartMax) {
            return false;
        }
        ++at;
    }
    return true;
}

}  // namespace

bool ParseIpv4Text(const char* text, uint32_t* address) {
    if (text == nullptr || address == nullptr) {
        return false;
    }
    const char* at = text;
    uint32_t value = 0;
    for (int index = 0; index < kParts; ++index) {
        if (index != 0 && *at++ != '.') {
            return false;
        }
        uint32_t part = 0;
        if (!ReadPart(at, part)) {
            return false;
        }
        value = value << 8 | part;
    }
    if (*at != '\0') {
        return false;
    }
    *address = value;
    return true;
}

}  // namespace krogw
