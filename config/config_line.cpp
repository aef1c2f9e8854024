// Splitting the configuration into retained lines.
#include <cstdio>

#include "config/config_reader.h"

namespace krogw {
namespace {

constexpr int kEndOfInput = -1;

// Blanks, control characters and bytes above 0x7F are dropped wherever they stand.
bool IsRetained(int byte) {
    return byte >= 0x21 && byte <= 0x7F;
}

template <typename NextByte>
bool ReadLine(NextByte next_byte, ConfigLine& line) {
    line.length = 0;
    line.overlong = false;
    for (int byte = next_byte(); byte != kEndOfInput; byte = next_byte()) {
        if (byte == '\n') {
            line.text[line.length] = '\0';
            return true;
        }
        if (!IsRetained(byte)) {
            continue;
        }
        if (line.length < kConfigLineChars) {
            line.text[line.length++] = static_cast<char>(byte);
        } else {
            line.overlong = true;  // keep reading to the line feed
        }
    }
    line.text[line.length] = '\0';
    return line.length >= kLastLineMinChars;
}

}  // namespace

bool ReadConfigLine(std::FILE* file, ConfigLine& line) {
    return ReadLine(
        [file] {
            const int byte = std::fgetc(file);
            return byte == EOF ? kEndOfInput : byte;
        },
        line);
}

bool ReadConfigLine(ConfigText& text, ConfigLine& line) {
    return ReadLine(
        [&text] {
            return text.position < text.size
                       ? static_cast<unsigned char>(text.data[text.position++])
                       : kEndOfInput;
        },
        line);
}

}  // namespace krogw
