#include "tools/console/cp437.h"

namespace console {
namespace {

// The upper half of code page 437 that box-drawn banners use; anything else shows as '?'.
const char* UpperHalf(unsigned char c) {
    switch (c) {
        case 0xB0:
            return "\u2591";
        case 0xB1:
            return "\u2592";
        case 0xB2:
            return "\u2593";
        case 0xBA:
            return "\u2551";
        case 0xBB:
            return "\u2557";
        case 0xBC:
            return "\u255D";
        case 0xC8:
            return "\u255A";
        case 0xC9:
            return "\u2554";
        case 0xCD:
            return "\u2550";
        case 0xDB:
            return "\u2588";
        default:
            return "?";
    }
}

}  // namespace

std::string Cp437ToUtf8(const char* text) {
    std::string out;
    for (const char* p = text; p != nullptr && *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c < 0x80) {
            out += *p;
        } else {
            out += UpperHalf(c);
        }
    }
    return out;
}

}  // namespace console
