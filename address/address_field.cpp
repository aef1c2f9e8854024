#include "address/address_field.h"

namespace krogw {

bool NormalizeAddress(const char* text, AddressField& field) {
    if (text == nullptr) {
        return false;
    }
    size_t length = 0;
    while (text[length] != '\0') {
        if (++length > kAddressFieldChars) {
            return false;
        }
    }
    for (size_t position = 0; position < kAddressFieldChars; ++position) {
        char c = position < length ? text[position] : ' ';
        const auto code = static_cast<unsigned char>(c);
        // a..z and the five characters after them
        if (code >= 0x61 && code <= 0x7F) {
            c = static_cast<char>(code - 0x20);
        }
        field.text[position] = c;
    }
    field.text[kAddressFieldChars] = '\0';
    return true;
}

}  // namespace krogw
