#include "context/command_write.h"

namespace krogw {

int32_t CommandElementBytes(int32_t bit_width, int32_t element_count) {
    if ((bit_width != 8 && bit_width != 16 && bit_width != 32) || element_count < 0 ||
        element_count > kMaxWriteElements) {
        return -1;
    }
    return element_count * (bit_width / 8);
}

bool IsValidCommandWrite(const CommandWrite& write) {
    const int32_t element_bytes = CommandElementBytes(write.bit_width, write.element_count);
    return element_bytes >= 0 &&
           (write.element_count == 1 || element_bytes == 0 || write.elements != nullptr);
}

}  // namespace krogw
